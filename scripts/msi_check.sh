#!/usr/bin/env bash
# Checks the tables of a built package where wixl is known to write wrong
# ones and still exit 0: custom action types, sequence positions and names,
# file versions, the summary and the launch conditions. Prints each fault and
# exits 1 on any.
#
# Usage: scripts/msi_check.sh PACKAGE ARCH VERSION BINARIES_DIR
set -uo pipefail

msi=$1 arch=$2 version=$3 bin=$4
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
faults=0
fault() { echo "msi check: $(basename "$msi"): $*" >&2; faults=$((faults + 1)); }
# table NAME: the rows of a table, tab-separated, without the three header lines.
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4; }
# field TABLE KEY COLUMN: one column of the row whose first column is KEY.
field() { table "$1" | awk -F'\t' -v k="$2" -v c="$3" '$1 == k {print $c; exit}'; }

# Custom actions: type 3090 runs an installed file, deferred, as the system;
# 3346 is the same as a rollback action. A rollback or commit flag (256, 512)
# without the in-script flag (1024) runs immediately, during every install.
declare -A TYPES=([RegisterMonitor]=3090 [UnregisterMonitor]=3090 [UnregisterOnRollback]=3346)
declare -A TARGETS=(
    [RegisterMonitor]="register --modern"
    [UnregisterMonitor]="unregister --unless-related [UpgradeCode] [ProductCode]"
    [UnregisterOnRollback]="unregister --unless-related [UpgradeCode] [ProductCode]")
for action in "${!TYPES[@]}"; do
    [ "$(field CustomAction "$action" 2)" = "${TYPES[$action]}" ] ||
        fault "custom action $action has type '$(field CustomAction "$action" 2)', not ${TYPES[$action]}"
    [ "$(field CustomAction "$action" 3)" = norvinst.exe ] || fault "custom action $action does not run norvinst.exe"
    [ "$(field CustomAction "$action" 4)" = "${TARGETS[$action]}" ] || fault "custom action $action runs '$(field CustomAction "$action" 4)'"
done
while IFS=$'\t' read -r action type _; do
    (((type & 768) && !(type & 1024))) && fault "custom action $action ($type) is rollback or commit but immediate"
    (((type & 1024) && !(type & 2048))) && fault "deferred custom action $action ($type) would run as the user"
done < <(table CustomAction)

# Sequences: every action they name exists; ours sit where they must.
STANDARD=" AppSearch CostFinalize CostInitialize CreateFolders ExecuteAction FileCost FindRelatedProducts
 InstallAdminPackage InstallExecute InstallExecuteAgain InstallFiles InstallFinalize InstallInitialize
 InstallServices InstallValidate LaunchConditions MigrateFeatureStates ProcessComponents PublishFeatures
 PublishProduct RegisterProduct RegisterUser RemoveExistingProducts RemoveFiles RemoveFolders
 RemoveRegistryValues RemoveShortcuts StartServices StopServices DeleteServices UnpublishFeatures
 ValidateProductID WriteRegistryValues CreateShortcuts DuplicateFiles RemoveDuplicateFiles
 MoveFiles PatchFiles SelfRegModules SelfUnregModules ScheduleReboot ForceReboot "
STANDARD="${STANDARD//$'\n'/ }"
customs=" $(table CustomAction | cut -f1 | tr '\n' ' ') "
for seq in InstallExecuteSequence InstallUISequence AdminExecuteSequence AdminUISequence AdvtExecuteSequence; do
    while IFS=$'\t' read -r action _ _; do
        [[ $STANDARD == *" $action "* || $customs == *" $action "* ]] ||
            fault "$seq names $action, which is neither a standard nor a custom action"
    done < <(table "$seq")
done
at() { field InstallExecuteSequence "$1" 3; }
before() {  # before A B: A is sequenced, and before B
    local a b
    a="$(at "$1")" b="$(at "$2")"
    if [ -z "$a" ] || [ -z "$b" ] || [ "$a" -ge "$b" ]; then
        fault "$1 (${a:-missing}) is not before $2 (${b:-missing})"
    fi
}
before InstallInitialize UnregisterMonitor
before UnregisterMonitor RemoveFiles
before InstallFiles UnregisterOnRollback
before UnregisterOnRollback RegisterMonitor
before RegisterMonitor InstallFinalize
# Late, so the new product is registered when the old one's removal runs.
before InstallFinalize RemoveExistingProducts
declare -A CONDITIONS=(
    [UnregisterMonitor]='REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE'
    [UnregisterOnRollback]='NOT REMOVE="ALL" AND NOT MONITORKEY'
    [RegisterMonitor]='NOT REMOVE="ALL"')
for action in "${!CONDITIONS[@]}"; do
    [ "$(field InstallExecuteSequence "$action" 2)" = "${CONDITIONS[$action]}" ] ||
        fault "$action runs under '$(field InstallExecuteSequence "$action" 2)'"
done

# Versions: Windows Installer treats a file without one as unversioned data.
for file in norvmon2.dll norvmonui.dll norvinst.exe; do
    want="$(bash "$ROOT/scripts/msi.sh" --file-version "$bin/$file")"
    got="$(field File "$file" 5)"
    [ "$got" = "$want" ] || fault "File.Version of $file is '$got', its version resource says '$want'"
    [[ $file == *.dll && -z $got ]] && fault "File.Version of $file is empty"
done

# Summary and platform.
declare -A TEMPLATE=([x86]="Intel;1033" [x64]="x64;1033" [arm64]="Arm64;1033")
declare -A SUMMARY=(
    [Title]="Installation Database" [Subject]="NORV Monitor $version ($arch)" [Author]=Norvale
    [Keywords]=Installer [Comments]="Norvale Document Monitor for the Windows print spooler"
    [Template]="${TEMPLATE[$arch]}" [Version]="500 (1f4)" [Source]="2 (2)" [Security]="2 (2)")
suminfo="$(msiinfo suminfo "$msi" | tr -d '\r')"
for key in "${!SUMMARY[@]}"; do
    got="$(sed -n "s/^$key: //p" <<<"$suminfo")"
    [ "$got" = "${SUMMARY[$key]}" ] || fault "summary $key is '$got', not '${SUMMARY[$key]}'"
done
grep -qE '^Revision number \(UUID\): \{[0-9A-F-]{36}\}$' <<<"$suminfo" || fault "summary revision is no package code"
want64=256 dir=System64Folder
[ "$arch" = x86 ] && want64=0 dir=SystemFolder
while IFS=$'\t' read -r component _ directory attributes _; do
    (((attributes & 256) == want64)) || fault "component $component has attributes $attributes for $arch"
    [ "$component" = Installer ] || [ "$directory" = "$dir" ] || fault "component $component goes to $directory, not $dir"
done < <(table Component)

upgrade="$(sed -n 's/.*UpgradeCode = "\([0-9A-F-]*\)".*/{\1}/p' "$ROOT/packaging/msi/$arch.wxi")"
[ "$(field Property UpgradeCode 2)" = "$upgrade" ] || fault "UpgradeCode is '$(field Property UpgradeCode 2)', not $upgrade"
[ "$(field Property ProductVersion 2)" = "$version" ] || fault "ProductVersion is not $version"
declare -A OTHERS=([x86]="x64 arm64" [x64]="x86 arm64" [arm64]="x64 x86")
conditions="$(table LaunchCondition)"
for other in ${OTHERS[$arch]}; do
    grep -q "install norvmon-$version-$other.msi\|, on .* norvmon-$version-$other.msi" <<<"$conditions" ||
        fault "no launch condition names norvmon-$version-$other.msi"
done
grep -q '^NOT WIX_DOWNGRADE_DETECTED' <<<"$conditions" || fault "no launch condition refuses a downgrade"

[ "$faults" -eq 0 ] || { echo "msi check: $(basename "$msi"): $faults fault(s)" >&2; exit 1; }
