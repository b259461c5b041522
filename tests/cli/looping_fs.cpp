// A FUSE file system for HostileTrees: every folder holds "loop", the same folder again
// (same device and inode), and "deep", a new folder, without end.
#define FUSE_USE_VERSION 31
#include <cerrno>
#include <cstring>
#include <fuse.h>
#include <initializer_list>

// A folder's inode: 1, and one more for each "deep" on its path; 0 for no folder.
static ino_t folder(const char* path) {
    ino_t ino = 1;
    for (const char* p = std::strcmp(path, "/") == 0 ? "" : path; *p != '\0'; p += 5) {
        const bool deep = std::strncmp(p, "/deep", 5) == 0, end = p[5] == '/' || p[5] == '\0';
        if (!end || (!deep && std::strncmp(p, "/loop", 5) != 0)) {
            return 0;
        }
        ino += deep ? 1 : 0;
    }
    return ino;
}

int main(int argc, char* argv[]) {
    fuse_operations ops{};
    ops.getattr = [](const char* path, struct stat* st, fuse_file_info*) {
        *st = {};
        st->st_ino = folder(path);
        st->st_mode = S_IFDIR | 0755;
        return st->st_ino != 0 ? 0 : -ENOENT;
    };
    ops.readdir = [](const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                     fuse_readdir_flags) {
        for (const char* name : {".", "..", "loop", "deep"}) {
            fill(buf, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
        }
        return folder(path) != 0 ? 0 : -ENOENT;
    };
    ops.init = [](fuse_conn_info*, fuse_config* config) -> void* {
        config->use_ino = 1; // st_ino as given: "loop" is its folder again
        return nullptr;
    };
    return fuse_main(argc, argv, &ops, nullptr);
}
