// Shell folder browser and allocator, off Windows.
#pragma once

#include <windows.h>

typedef struct _SHITEMID {
    WORD cb;
    BYTE abID[1];
} SHITEMID;

typedef struct _ITEMIDLIST {
    SHITEMID mkid;
} ITEMIDLIST, *LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef LPITEMIDLIST PIDLIST_ABSOLUTE;
typedef LPCITEMIDLIST PCIDLIST_ABSOLUTE;

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID, IID;
typedef const IID& REFIID;

// The shell's task allocator, a COM interface.
struct IMalloc {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
    virtual void* STDMETHODCALLTYPE Alloc(SIZE_T bytes) = 0;
    virtual void* STDMETHODCALLTYPE Realloc(void* memory, SIZE_T bytes) = 0;
    virtual void STDMETHODCALLTYPE Free(void* memory) = 0;
    virtual SIZE_T STDMETHODCALLTYPE GetSize(void* memory) = 0;
    virtual int STDMETHODCALLTYPE DidAlloc(void* memory) = 0;
    virtual void STDMETHODCALLTYPE HeapMinimize() = 0;

protected:
    ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;

typedef int(CALLBACK* BFFCALLBACK)(HWND hwnd, UINT message, LPARAM lParam, LPARAM data);

typedef struct _browseinfoW {
    HWND hwndOwner;
    PCIDLIST_ABSOLUTE pidlRoot;
    LPWSTR pszDisplayName;
    LPCWSTR lpszTitle;
    UINT ulFlags;
    BFFCALLBACK lpfn;
    LPARAM lParam;
    int iImage;
} BROWSEINFOW, *PBROWSEINFOW, *LPBROWSEINFOW;

#define BIF_RETURNONLYFSDIRS 0x00000001
#define BIF_DONTGOBELOWDOMAIN 0x00000002
#define BIF_EDITBOX 0x00000010
#define BIF_NEWDIALOGSTYLE 0x00000040

#ifdef __cplusplus
extern "C" {
#endif

PIDLIST_ABSOLUTE WINAPI SHBrowseForFolderW(LPBROWSEINFOW info);
BOOL WINAPI SHGetPathFromIDListW(PCIDLIST_ABSOLUTE list, LPWSTR path);
HRESULT WINAPI SHGetMalloc(LPMALLOC* allocator);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
extern "C" {
#endif
// The COM task allocator, the same one SHGetMalloc hands out.
void WINAPI CoTaskMemFree(LPVOID memory);
#ifdef __cplusplus
}
#endif
