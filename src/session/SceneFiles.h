#pragma once

#include <string>
#include <vector>

// Where scenes are saved and read: the session file (session.bin in the
// working folder, unless the command line names another), the numbered scene
// slots beside it ("session-3.bin"), the copy of a damaged one
// ("session.bin.damaged") and of one of a later version ("session.bin.v2").
// Also what a load found that the next save must write again (the layouts of
// rects whose sound is not loaded now), and the file work that keys asked
// for, which the GUI thread does outside the scene lock.
class SceneFiles {
public:
    static const int NUM_SLOTS = 8;
    static const char* const DEFAULT_SESSION_PATH;

    // A rect's saved record, kept for a sound that is not in the folder now.
    struct KeptRect {
        std::string name;
        std::vector<char> record;
    };

    SceneFiles();
    virtual ~SceneFiles() {}

    void SetSessionPath(const std::string& path);
    const std::string& GetSessionPath() const { return _sessionPath; }
    // Where F12 writes: the session file, unless the one found at start could
    // not be read (then SaveElsewhere has chosen another name).
    const std::string& GetSavePath() const { return _savePath; }
    // A session file that could not be read is never written over: saves go
    // to the first name beside it that nothing uses ("session-saved.bin",
    // "session-saved-2.bin", ...).
    void SaveElsewhere();
    // Slots are numbered 1 to NUM_SLOTS.
    std::string GetSlotPath(int slot) const;
    std::string GetDamagedPath(const std::string& path) const { return path + ".damaged"; }
    // The copy of a file whose trailing section is of a later version, kept before a save writes this build's.
    std::string GetLaterVersionPath(const std::string& path, int version) const
    {
        return path + ".v" + std::to_string(version);
    }

    const std::vector<KeptRect>& GetKeptRects() const { return _keptRects; }
    std::vector<KeptRect>* MutableKeptRects() { return &_keptRects; }

    // Where the scene encoded last goes.
    void SetPendingSave(const std::string& path) { _pendingSave = path; }
    const std::string& GetPendingSave() const { return _pendingSave; }
    // The slot a key asked to recall; TakePendingRecall gives it once (0 for none).
    void SetPendingRecall(int slot) { _pendingRecall = slot; }
    int TakePendingRecall();

private:
    // The session path with suffix put before its extension.
    std::string BesideSession(const std::string& suffix) const;

    std::string _sessionPath;
    std::string _savePath;
    std::vector<KeptRect> _keptRects;
    std::string _pendingSave;
    int _pendingRecall;
};
