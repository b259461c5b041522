// Sums the sizes of the captured files on a thread of its own while the scan walks on: the
// scan hands over each folder's file names with a descriptor of the folder, and takes the
// sum when it returns. The nodes, their order and the counters stay the scan's alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/directory.h"

namespace zelvane {

class SizeReader {
public:
    struct Limits {
        // Folder descriptors and name bytes handed over and not yet summed, at most; past
        // either, and without a thread, the sizes are asked on the scan's own thread.
        std::size_t descriptors = 8;
        std::size_t nameBytes = std::size_t{1} << 20;
        bool thread = true;
    };

    // Limits::thread is taken only when the process may run on more than one processor.
    explicit SizeReader(const Limits& limits);
    ~SizeReader();
    SizeReader(const SizeReader&) = delete;
    SizeReader& operator=(const SizeReader&) = delete;

    // The size of the regular file name of dir is wanted. Names of one folder are gathered
    // until flush, which must come before dir is closed or moved.
    void add(const platform::Directory& dir, std::string_view name);
    void flush();
    // Waits until everything handed over is summed; true when descriptors were given back.
    bool drain();
    // flush and drain, then the sum of every size since the last take.
    std::uint64_t take();

private:
    struct Job {
        int fd = -1;
        std::string names; // each followed by a NUL
    };
    void run();

    const Limits limits_;
    const platform::Directory* batchDir_ = nullptr;
    std::string batch_;
    std::uint64_t total_ = 0; // the scan's own sums

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Job> jobs_;
    std::size_t heldDescriptors_ = 0; // queued or being summed
    std::size_t heldBytes_ = 0;
    std::uint64_t threadTotal_ = 0;
    bool quit_ = false;
    bool useThread_ = false;
    std::thread thread_;
};

} // namespace zelvane
