#include "session/SceneFiles.h"

#include <sys/stat.h>

const char* const SceneFiles::DEFAULT_SESSION_PATH = "session.bin";

SceneFiles::SceneFiles() : _pendingRecall(0)
{
    SetSessionPath(DEFAULT_SESSION_PATH);
}

void SceneFiles::SetSessionPath(const std::string& path)
{
    _sessionPath = path;
    _savePath = path;
}

std::string SceneFiles::BesideSession(const std::string& suffix) const
{
    const size_t slash = _sessionPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = _sessionPath.rfind('.');
    // A leading dot names a hidden file; it starts no extension.
    if (dot == std::string::npos || dot <= nameStart)
        dot = _sessionPath.size();
    return _sessionPath.substr(0, dot) + suffix + _sessionPath.substr(dot);
}

void SceneFiles::SaveElsewhere()
{
    struct stat info;
    for (int n = 1;; n++) {
        std::string candidate = BesideSession(n == 1 ? "-saved" : "-saved-" + std::to_string(n));
        if (lstat(candidate.c_str(), &info) != 0) {
            _savePath = candidate;
            return;
        }
    }
}

std::string SceneFiles::GetSlotPath(int slot) const
{
    return BesideSession("-" + std::to_string(slot));
}

int SceneFiles::TakePendingRecall()
{
    const int slot = _pendingRecall;
    _pendingRecall = 0;
    return slot;
}
