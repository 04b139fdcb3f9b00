// A file that replaces another whole or not at all.
#pragma once

#include <string>

// Written as a fresh file beside the file it is to replace (same folder, so
// the rename that puts it in place is atomic), with the old file's mode and,
// where the process may set them, its owner and group. Until Commit the old
// file is left exactly as it was: a write that fails, a full disk, a signal,
// leave it whole.
class FreshFile {
public:
    // What a symbolic link at the target's path means.
    enum class Links {
        Follow,   // the file it leads to is replaced, the link stays a link
        Replace,  // the link itself is replaced, what it leads to is left alone
    };

    FreshFile() = default;
    ~FreshFile() { Abandon(); }
    FreshFile(const FreshFile&) = delete;
    FreshFile& operator=(const FreshFile&) = delete;

    // Opens the fresh file for `path`. False, with errno set and Why() in
    // plain words, when the path cannot take it: not a regular file, a link
    // to nothing, an old file its owner may not write, a folder that takes no
    // new file. Nothing is created or changed then.
    bool Create(const std::string& path, Links links);
    int Fd() const { return fd_; }
    // The path the fresh file will replace (a followed link's file).
    const std::string& Target() const { return target_; }
    const std::string& Why() const { return why_; }

    // Puts the written file in place of the target (or at `path`, with
    // KeepAs), once it is on disk. False, with errno set, when it could not
    // be written out or moved: the fresh file is then removed and the old
    // one stays.
    bool Commit() { return KeepAs(target_); }
    bool KeepAs(const std::string& path);
    // Closes and removes the fresh file; the old one stays as it was.
    void Abandon();

private:
    int fd_ = -1;
    std::string target_;
    std::string fresh_;
    std::string why_;
};

// Whether two paths name one file: the same file when both are there (links
// followed), else the same place once their folders are resolved.
bool SameFile(const std::string& a, const std::string& b);
