// A FUSE file system for the hostile-tree tests: every folder holds "loop", the same
// folder again (same device and inode), and "deep", a new folder, without end.
#define FUSE_USE_VERSION 31
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include <fuse.h>

namespace {

// A folder's inode: 1, and one more for each "deep" on its path; 0 for no folder.
ino_t folder(const char* path) {
    ino_t ino = 1;
    for (const char* p = std::strcmp(path, "/") == 0 ? "" : path; *p != '\0'; p += 5) {
        const bool deep = std::strncmp(p, "/deep", 5) == 0;
        if ((!deep && std::strncmp(p, "/loop", 5) != 0) || (p[5] != '/' && p[5] != '\0')) {
            return 0;
        }
        ino += deep ? 1 : 0;
    }
    return ino;
}

int getattr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    st->st_ino = folder(path);
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return st->st_ino != 0 ? 0 : -ENOENT;
}

int readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
    for (const char* name : {".", "..", "loop", "deep"}) {
        fill(buf, name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    }
    return folder(path) != 0 ? 0 : -ENOENT;
}

void* init(fuse_conn_info*, fuse_config* config) {
    config->use_ino = 1; // st_ino as given: "loop" is its folder again
    return nullptr;
}

} // namespace

int main(int argc, char* argv[]) {
    fuse_operations ops{};
    ops.getattr = getattr;
    ops.readdir = readdir;
    ops.init = init;
    return fuse_main(argc, argv, &ops, nullptr);
}
