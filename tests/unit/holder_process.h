#pragma once
// A second process that holds a file, a module or a folder the way another program
// would (tests/helpers/holder.cpp), until stop() or the end of the scope.
#include "base/unique_handle.h"

#include <string>

namespace elvara {

class HolderProcess {
public:
    // mode: "load", "open", "open-exclusive" or "current-folder".
    HolderProcess(const std::wstring& mode, const std::wstring& target);
    ~HolderProcess() { stop(); }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    bool holding() const { return holding_; }
    void stop();

private:
    UniqueKernelHandle input_, output_, process_;
    bool holding_ = false;
};

} // namespace elvara
