// Helpers for tests that run the monitor on many threads at once.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace harness {

// Collects what went wrong on the threads; the test asserts on it after the join.
class Problems {
public:
    void Add(const std::string& problem) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (list_.size() < 20) list_.push_back(problem);
        ++count_;
    }
    size_t count() const { return count_; }
    std::string Describe() const {
        std::string out;
        for (const auto& problem : list_) out += problem + "\n";
        return out;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> list_;
    size_t count_ = 0;
};

// Holds every thread until all have been created, so that they overlap.
class StartLine {
public:
    explicit StartLine(int threads) : waiting_(threads) {}
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (--waiting_ == 0) ready_.notify_all();
        else ready_.wait(lock, [this] { return waiting_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    int waiting_;
};

}  // namespace harness
