#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "session/SceneFiles.h"
#include "session/SessionTrailer.h"

class App;
class Serializer;

// Saves the scene to the session file or a slot, restores it at start-up and
// recalls a slot live, on the toolkit thread: encoding and decoding under the
// scene lock, the disk outside it.
class SceneStore {
public:
    // The scene is app's: its rects, sources, view and chains.
    explicit SceneStore(App* app);
    virtual ~SceneStore();
    SceneStore(const SceneStore&) = delete;
    SceneStore& operator=(const SceneStore&) = delete;

    // F12 saves the scene; the start-up restores it last. The key handler
    // only encodes the scene, under the scene lock; the file is written by
    // the next idle call (or the shut-down) outside the lock, so that the
    // audio thread never waits for the disk. A save goes to a temporary file
    // renamed over the old one, so a failed save keeps the previous session,
    // and says so on screen and on stderr.
    void SaveCurrentSession();
    void WritePendingSession();
    // The session file's path (session.bin unless the command line names another).
    void SetSessionPath(const std::string& path);
    const SceneFiles& GetSceneFiles() const { return _sceneFiles; }
    // Scene slots 1 to 8, files beside the session file. Saving encodes the
    // scene as F12 does; a recall is read by the next idle call outside the
    // lock and then replaces the scene under it, the old sources fading out.
    // A slot that is empty, that cannot be read or whose checksum does not
    // match leaves the scene as it is, said at most once a second per slot.
    void SaveSceneSlot(int slot);
    void RecallSceneSlot(int slot);
    void RecallPendingScene();
    // Replaces the sources and layout with the scene in serializer.
    void RecallScene(Serializer* serializer);
    // Writes the scene to fileName; false, with the reason, when it could not.
    bool SerializeSession(const char* fileName, std::string* error);
    void SerializeSession(Serializer* serializer);
    // Restores the session file when there is one, under the scene lock, and
    // says what it restored or what it found wrong; a damaged file is kept
    // aside, and one that cannot be read is never saved over.
    void UnSerializeSession();
    // Reads a session from a serializer in read mode into a scene of sound
    // rects without sources. Rects go to the sounds of the names recorded
    // with them; values out of range are refused field by field, and where
    // the data ends or cannot be right the load stops, keeping everything
    // read before.
    void UnSerializeSession(Serializer* serializer);

private:
    void QueueSceneSave(const std::string& path);
    // Writes encoded session bytes to fileName whole, or not at all.
    static bool WriteSessionFile(const char* fileName, const std::vector<char>& bytes, std::string* error);
    void SerializeSoundRects(Serializer* serializer);
    void SerializeSources(Serializer* serializer);
    void SerializeAppState(Serializer* serializer);
    // The trailing section: the sound name of every rect, the kept rects,
    // the live rects and the MIDI learn bindings.
    void SerializeTrailer(Serializer* serializer);
    std::string RectSoundName(size_t index) const;
    // Says what the file read from path restored; a damaged file, or one whose
    // trailing section is of a later version, is kept aside first.
    void ReportRestore(const std::string& path, const std::vector<char>& file, const Serializer& serializer);
    // Writes file to copyPath; says where it is kept or why it is not.
    static std::string KeepCopy(const std::string& copyPath, const std::vector<char>& file);
    // Why the bytes of a slot are no scene to recall, empty when they are one:
    // a recall replaces the playing scene, so only a slot written whole, with
    // its trailing section and a checksum that matches, replaces it.
    static std::string WhyNoScene(const std::vector<char>& file);
    void RefuseRecall(int slot, const std::string& text);
    // Reads the rect records, each into the rect of its sound; gives the
    // rect each record went to (-1 for none), in record order.
    std::vector<int> UnSerializeSoundRects(Serializer* serializer, const std::vector<SessionTrailer::Chunk>& chunks);
    bool ReadRectNames(const std::vector<SessionTrailer::Chunk>& chunks, size_t count, std::vector<std::string>* names,
                       Serializer* serializer);
    // Reads the trailing section's chunk of that tag, if any, with read; a
    // chunk that cannot be read whole marks the session damaged.
    static void UnSerializeChunk(const std::vector<SessionTrailer::Chunk>& chunks, const char* tag,
                                 Serializer* serializer, const std::function<void(Serializer*)>& read);
    std::vector<SceneFiles::KeptRect> ReadKeptRects(const std::vector<SessionTrailer::Chunk>& chunks,
                                                    Serializer* serializer);
    // The first rect of that sound not taken yet, now taken; -1 for none.
    int TakeRectNamed(const std::string& name, std::vector<bool>* taken) const;
    void ApplyRectRecord(size_t index, const std::vector<char>& record, Serializer* serializer);
    void UnSerializeSources(Serializer* serializer);
    // Where each source's random draws stand, in source order.
    void SerializeDraws(Serializer* serializer) const;
    void UnSerializeDraws(Serializer* serializer);
    void UnSerializeAppState(Serializer* serializer, const std::vector<int>& rectPlaces);
    // Appends a source of a stored kind at the canvas origin, selected; false for an unknown kind.
    bool AddSourceOfType(int type);
    void RestoreSelection();

    App* _app;
    // A scene encoded by F12 or a slot save and not yet written.
    std::vector<char> _pendingSession;
    bool _sessionSavePending;
    SceneFiles _sceneFiles;
    // Which kind of thing the scene last selected: nothing else reads it,
    // it is kept as read for the next save.
    int _selectionMode;
    // What the last file read held beyond this build's own: the version of
    // a later trailing section (0 for none), and the live rects an earlier
    // build named without saving them.
    int _laterSectionVersion;
    size_t _earlierLiveRects;
    // When a refused recall of each slot was last said.
    std::vector<std::chrono::steady_clock::time_point> _recallRefusedAt;
};
