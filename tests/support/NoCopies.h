// A base for the helpers that take something from the process (a folder, a
// right, a limit) and give it back in their destructor: a copy would give it
// back twice.
#pragma once

namespace ferrik_test {

class NoCopies {
public:
    NoCopies(const NoCopies&) = delete;
    NoCopies& operator=(const NoCopies&) = delete;

protected:
    NoCopies() = default;
    ~NoCopies() = default;
};

}  // namespace ferrik_test
