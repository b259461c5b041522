#include "capture/size_reader.h"

#include "platform/processors.h"

#include <system_error>
#include <unistd.h>

namespace zelvane {

namespace {

// A folder's names handed over in pieces of this size at most, so that one large folder
// goes to both threads.
constexpr std::size_t kPieceBytes = 16 * 1024;

// The sum of size(name) over names, each followed by a NUL.
template <class Size> std::uint64_t sumOver(const std::string& names, Size size) {
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        sum += size(names.c_str() + at);
    }
    return sum;
}

} // namespace

SizeReader::SizeReader(const Limits& limits)
    : limits_(limits), useThread_(limits.thread && platform::severalProcessors()) {}

SizeReader::~SizeReader() {
    if (thread_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
}

void SizeReader::add(const platform::Directory& dir, std::string_view name) {
    if (batchDir_ != &dir) {
        flush();
        batchDir_ = &dir;
    }
    batch_.append(name).push_back('\0');
    if (batch_.size() >= kPieceBytes) {
        flush();
        batchDir_ = &dir;
    }
}

void SizeReader::flush() {
    if (batch_.empty()) {
        batchDir_ = nullptr;
        return;
    }
    if (useThread_ && !thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            useThread_ = false; // the sizes are asked on this thread
        }
    }
    bool handed = false;
    if (useThread_) {
        std::unique_lock lock(mutex_);
        if (heldDescriptors_ < limits_.descriptors &&
            heldBytes_ + batch_.size() <= limits_.nameBytes) {
            const int fd = batchDir_->duplicate();
            if (fd >= 0) {
                heldBytes_ += batch_.size();
                ++heldDescriptors_;
                jobs_.push_back({fd, std::move(batch_)});
                handed = true;
            }
        }
        lock.unlock();
        if (handed) {
            wake_.notify_one();
        }
    }
    if (!handed) {
        total_ += sumOver(batch_, [&](const char* name) { return batchDir_->fileSize(name); });
    }
    batch_.clear();
    batchDir_ = nullptr;
}

void SizeReader::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            return;
        }
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        const std::uint64_t sum = sumOver(
            job.names, [&](const char* name) { return platform::fileSizeAt(job.fd, name); });
        ::close(job.fd);
        lock.lock();
        threadTotal_ += sum;
        heldBytes_ -= job.names.size();
        if (--heldDescriptors_ == 0) {
            idle_.notify_all();
        }
    }
}

bool SizeReader::drain() {
    std::unique_lock lock(mutex_);
    const bool held = heldDescriptors_ > 0;
    idle_.wait(lock, [this] { return heldDescriptors_ == 0; });
    return held;
}

std::uint64_t SizeReader::take() {
    flush();
    drain();
    const std::lock_guard lock(mutex_);
    const std::uint64_t sum = total_ + threadTotal_;
    total_ = 0;
    threadTotal_ = 0;
    return sum;
}

} // namespace zelvane
