// The session file: the whole scene written on F12 and read back as the last
// step of start-up, and the numbered scene slots beside it, saved and recalled
// live. Sound rects are matched to the loaded sounds by the names the
// trailing section records (by load order in files without it); sources are
// created anew and read into, one record after another.
#include "app/SceneStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <stk/Mutex.h>
#include <string>

#include "app/App.h"
#include "app/CanvasView.h"
#include "app/PrintableText.h"
#include "app/Selection.h"
#include "app/StyleSwitch.h"
#include "effects/EffectsBox.h"
#include "midi/MidiLearn.h"
#include "session/Serializer.h"
#include "session/SessionTrailer.h"
#include "sound/EngineRate.h"
#include "sound/LiveRect.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"

namespace {

// A sound rect's record (with four parameters).
const size_t SOUND_RECT_RECORD_BYTES = 284;
// Sources are created from the canvas origin; their views move them.
const double NEW_SOURCE_X = 0.0;
const double NEW_SOURCE_Y = 0.0;
// Chunks of the trailing section: the sound of each rect record, in record
// order, and the records kept for sounds that are not loaded.
const char* const RECT_NAMES_TAG = "RNAM";
const char* const KEPT_RECTS_TAG = "KEPT";
// The live rects (place, view and settings; never their sound) and the MIDI
// learn bindings.
const char* const LIVE_RECTS_TAG = "LIVE";
const char* const BINDINGS_TAG = "MIDI";
// Where each source's random draws stand, in source order.
const char* const DRAWS_TAG = "RAND";
// What a build before the LIVE chunk named its live rects in the RNAM chunk,
// after the names of the records: they name no record.
const char* const EARLIER_LIVE_RECT_NAMES[] = {"LIVE INPUT", "LIVE INPUT (FROZEN)"};
// A slot that cannot be recalled is said at most this often: a controller or
// a sender repeating the recall would hide every other message.
const std::chrono::milliseconds RECALL_REFUSAL_INTERVAL(1000);

std::string Plural(size_t count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// A saved list of rects ends with the live ones, after the file rects'
// records: a binding of live rect j names the record count plus j. When the
// records were read whole, those indexes go to the live rects there are now.
void PlaceLiveRects(const App* app, const Serializer& records, std::vector<int>* places)
{
    if (records.HasRunOut())
        return;
    const std::vector<SoundRect*>& rects = app->GetSoundRects();
    for (LiveRect* live : app->GetLiveRects())
        places->push_back(int(std::find(rects.begin(), rects.end(), live) - rects.begin()));
}

std::string JoinNames(const std::vector<SceneFiles::KeptRect>& rects)
{
    std::string text;
    for (const SceneFiles::KeptRect& rect : rects)
        text += (text.empty() ? "" : ", ") + rect.name;
    return text;
}

bool IsEarlierLiveRectName(const std::string& name)
{
    return std::find(std::begin(EARLIER_LIVE_RECT_NAMES), std::end(EARLIER_LIVE_RECT_NAMES), name) !=
           std::end(EARLIER_LIVE_RECT_NAMES);
}

}  // namespace

SceneStore::SceneStore(App* app)
    : _app(app), _sessionSavePending(false), _selectionMode(Selection::SOURCE), _laterSectionVersion(0),
      _earlierLiveRects(0),
      _recallRefusedAt(SceneFiles::NUM_SLOTS + 1, std::chrono::steady_clock::now() - RECALL_REFUSAL_INTERVAL)
{
}

SceneStore::~SceneStore()
{
}

void SceneStore::SetSessionPath(const std::string& path)
{
    _sceneFiles.SetSessionPath(path);
}

void SceneStore::SaveCurrentSession()
{
    QueueSceneSave(_sceneFiles.GetSavePath());
}

void SceneStore::SaveSceneSlot(int slot)
{
    if (slot >= 1 && slot <= SceneFiles::NUM_SLOTS)
        QueueSceneSave(_sceneFiles.GetSlotPath(slot));
}

void SceneStore::QueueSceneSave(const std::string& path)
{
    Serializer encoder;
    encoder.OpenWriteMemory();
    SerializeSession(&encoder);
    _pendingSession = encoder.GetStream();
    _sceneFiles.SetPendingSave(path);
    _sessionSavePending = true;
}

void SceneStore::WritePendingSession()
{
    if (!_sessionSavePending)
        return;
    _sessionSavePending = false;
    const std::string path = _sceneFiles.GetPendingSave();
    std::string error;
    if (WriteSessionFile(path.c_str(), _pendingSession, &error)) {
        _app->ShowMessage("Session saved to " + path, false);
        return;
    }
    struct stat info;
    const bool hadOne = lstat(path.c_str(), &info) == 0;
    _app->ShowMessage(
        path + " cannot be saved: " + error + (hadOne ? "; the previous " + path + " is kept as it was" : ""), true);
}

bool SceneStore::SerializeSession(const char* fileName, std::string* error)
{
    Serializer encoder;
    encoder.OpenWriteMemory();
    SerializeSession(&encoder);
    return WriteSessionFile(fileName, encoder.GetStream(), error);
}

bool SceneStore::WriteSessionFile(const char* fileName, const std::vector<char>& bytes, std::string* error)
{
    Serializer writer;
    if (writer.OpenWriteFile(fileName)) {
        writer.PutBytes(bytes);
        if (writer.CloseFile())
            return true;
    }
    *error = writer.GetError();
    return false;
}

void SceneStore::SerializeSession(Serializer* serializer)
{
    SerializeSoundRects(serializer);
    SerializeSources(serializer);
    SerializeAppState(serializer);
    _app->GetMasterEffectsBox()->Serialize(serializer);
    SerializeTrailer(serializer);
}

void SceneStore::SerializeSoundRects(Serializer* serializer)
{
    // The loaded sounds' rects; the live ones come after them and are not sounds of the folder.
    const size_t numFileRects = _app->GetSoundRects().size() - _app->GetLiveRects().size();
    serializer->PutInt(int(numFileRects));
    for (size_t i = 0; i < numFileRects; i++)
        _app->GetSoundRects()[i]->Serialize(serializer);
}

void SceneStore::SerializeSources(Serializer* serializer)
{
    serializer->PutInt(int(_app->GetSources().size()));
    for (Source* source : _app->GetSources()) {
        serializer->PutInt(source->GetSourceType());
        source->Serialize(serializer);
        source->GetUI()->Serialize(serializer);
    }
}

void SceneStore::SerializeAppState(Serializer* serializer)
{
    // The file keeps durations as frames at the reference rate, whatever the engine plays at.
    serializer->PutDouble(1.0 / EngineRate::REFERENCE_RATE);
    _app->GetView()->SerializeOffsetAndZoom(serializer);
    serializer->PutInt(_selectionMode);
    serializer->PutInt(_app->GetSelection()->GetDragMode());
    serializer->PutInt(_app->GetSelection()->GetSelectedSourceIndex());
    serializer->PutInt(_app->GetSelection()->GetSelectedRectIndex());
    _app->GetView()->SerializeWindow(serializer);
    serializer->PutInt(std::max(_app->GetStyles()->GetStyleNum(), 0));
}

void SceneStore::SerializeTrailer(Serializer* serializer)
{
    std::vector<SessionTrailer::Chunk> chunks(1);
    chunks[0].tag = RECT_NAMES_TAG;
    Serializer names;
    names.OpenWriteMemory();
    // One name per rect record: the live rects have none and go in a chunk of their own.
    const size_t numFileRects = _app->GetSoundRects().size() - _app->GetLiveRects().size();
    names.PutInt(int(numFileRects));
    for (size_t i = 0; i < numFileRects; i++)
        names.PutText(RectSoundName(i));
    chunks[0].payload = names.GetStream();
    const std::vector<SceneFiles::KeptRect>& kept = _sceneFiles.GetKeptRects();
    if (!kept.empty()) {
        Serializer records;
        records.OpenWriteMemory();
        records.PutInt(int(kept.size()));
        for (const SceneFiles::KeptRect& rect : kept) {
            records.PutText(rect.name);
            records.PutInt(int(rect.record.size()));
            records.PutBytes(rect.record);
        }
        chunks.push_back({KEPT_RECTS_TAG, records.GetStream()});
    }
    if (!_app->GetLiveRects().empty()) {
        Serializer live;
        live.OpenWriteMemory();
        _app->SerializeLiveRects(&live);
        chunks.push_back({LIVE_RECTS_TAG, live.GetStream()});
    }
    Serializer draws;
    draws.OpenWriteMemory();
    SerializeDraws(&draws);
    chunks.push_back({DRAWS_TAG, draws.GetStream()});
    Serializer bindings;
    bindings.OpenWriteMemory();
    _app->GetMidiLearn()->Serialize(&bindings);
    chunks.push_back({BINDINGS_TAG, bindings.GetStream()});
    SessionTrailer::Append(chunks, serializer);
}

std::string SceneStore::RectSoundName(size_t index) const
{
    // The view is named after its sound's file.
    return _app->GetSoundRects()[index]->GetUI()->GetName();
}

void SceneStore::UnSerializeSession()
{
    const std::string path = _sceneFiles.GetSessionPath();
    Serializer serializer;
    switch (serializer.ReadFile(path.c_str())) {
    case Serializer::READ_MISSING:
        return;
    case Serializer::READ_REFUSED:
        // Whatever is there stays as it is: saves go to a new name.
        _sceneFiles.SaveElsewhere();
        _app->ShowMessage(path + " cannot be read (" + serializer.GetError() +
                              "); the scene starts empty and F12 saves to " + _sceneFiles.GetSavePath(),
                          true);
        return;
    case Serializer::READ_WHOLE:
        break;
    }
    // As read: the reading cuts the trailing section off, and a copy kept aside holds it.
    const std::vector<char> file = serializer.GetStream();
    _app->_mutex->lock();
    UnSerializeSession(&serializer);
    _app->_mutex->unlock();
    ReportRestore(path, file, serializer);
}

void SceneStore::ReportRestore(const std::string& path, const std::vector<char>& file, const Serializer& serializer)
{
    const std::vector<SceneFiles::KeptRect>& kept = _sceneFiles.GetKeptRects();
    std::string notes = kept.empty() ? ""
                                     : "; kept for the next save, the layouts of " + Plural(kept.size(), "sound") +
                                           " not in the folder: " + JoinNames(kept);
    if (_earlierLiveRects > 0)
        notes += "; it was saved by an earlier build, which kept nothing of its " +
                 Plural(_earlierLiveRects, "live rect") + " but their names: key 4 adds live rects again";
    // Whatever the next save would lose is kept beside the file it writes.
    if (serializer.IsDamaged()) {
        _app->ShowMessage(path + " could not be read whole (" + serializer.GetError() +
                              "); kept what it could read: " + Plural(_app->GetSources().size(), "source") +
                              KeepCopy(_sceneFiles.GetDamagedPath(path), file) + notes,
                          true);
        return;
    }
    const std::string restored = "Session restored from " + path + ": " + Plural(_app->GetSoundRects().size(), "rect") +
                                 ", " + Plural(_app->GetSources().size(), "source");
    if (_laterSectionVersion > 0) {
        _app->ShowMessage(restored + "; its trailing section is of version " + std::to_string(_laterSectionVersion) +
                              ", which this build does not read, and a save writes version " +
                              std::to_string(SessionTrailer::VERSION) +
                              KeepCopy(_sceneFiles.GetLaterVersionPath(path, _laterSectionVersion), file) + notes,
                          true);
        return;
    }
    _app->ShowMessage(restored + notes, !kept.empty() || _earlierLiveRects > 0);
}

std::string SceneStore::KeepCopy(const std::string& copyPath, const std::vector<char>& file)
{
    // The copy is a file of its own: a link at its name is replaced, never written through.
    struct stat info;
    if (lstat(copyPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        unlink(copyPath.c_str());
    std::string error;
    if (!WriteSessionFile(copyPath.c_str(), file, &error))
        return "; it could not be kept aside (" + error + ")";
    return "; the file is kept as " + copyPath;
}

void SceneStore::UnSerializeSession(Serializer* serializer)
{
    std::vector<SessionTrailer::Chunk> chunks;
    size_t recordsEnd = 0;
    std::string why;
    _laterSectionVersion = 0;
    _earlierLiveRects = 0;
    switch (SessionTrailer::Read(serializer->GetStream(), &recordsEnd, &chunks, &why)) {
    case SessionTrailer::DAMAGED:
        serializer->MarkDamaged(why);
        break;
    case SessionTrailer::LATER:
        _laterSectionVersion = SessionTrailer::VersionAt(serializer->GetStream(), recordsEnd);
        break;
    default:
        break;
    }
    serializer->EndAt(recordsEnd);
    _app->GetSelection()->Deselect(Selection::SOURCE);
    _app->GetSelection()->Deselect(Selection::RECT);
    std::vector<int> rectPlaces = UnSerializeSoundRects(serializer, chunks);
    // Before the sources, whose voices play from the rects there are when they are made.
    UnSerializeChunk(chunks, LIVE_RECTS_TAG, serializer,
                     [this](Serializer* reader) { _app->UnSerializeLiveRects(reader); });
    PlaceLiveRects(_app, *serializer, &rectPlaces);
    UnSerializeSources(serializer);
    // The grains go on as the saved scene's would have; a scene saved without draws starts its own.
    UnSerializeChunk(chunks, DRAWS_TAG, serializer, [this](Serializer* reader) { UnSerializeDraws(reader); });
    UnSerializeAppState(serializer, rectPlaces);
    _app->GetMasterEffectsBox()->UnSerialize(serializer);
    // After the sources, which the bindings name; a scene saved without bindings has none.
    _app->GetMidiLearn()->Reset();
    UnSerializeChunk(chunks, BINDINGS_TAG, serializer, [this, &rectPlaces](Serializer* reader) {
        _app->GetMidiLearn()->UnSerialize(reader, rectPlaces);
    });
    if (!serializer->HasRunOut() && serializer->GetReadIndex() != serializer->GetStream().size())
        serializer->MarkDamaged(std::to_string(serializer->GetStream().size() - serializer->GetReadIndex()) +
                                " bytes follow the scene that nothing explains");
    RestoreSelection();
}

void SceneStore::UnSerializeChunk(const std::vector<SessionTrailer::Chunk>& chunks, const char* tag,
                                  Serializer* serializer, const std::function<void(Serializer*)>& read)
{
    const SessionTrailer::Chunk* chunk = SessionTrailer::Find(chunks, tag);
    if (chunk == nullptr)
        return;
    Serializer reader;
    reader.OpenReadMemory(chunk->payload);
    read(&reader);
    if (reader.IsDamaged())
        serializer->MarkDamaged(std::string("its ") + tag + " section cannot be read: " + reader.GetError());
}

bool SceneStore::ReadRectNames(const std::vector<SessionTrailer::Chunk>& chunks, size_t count,
                               std::vector<std::string>* names, Serializer* serializer)
{
    const SessionTrailer::Chunk* chunk = SessionTrailer::Find(chunks, RECT_NAMES_TAG);
    if (chunk == nullptr)
        return false;
    Serializer reader;
    reader.OpenReadMemory(chunk->payload);
    int saved = -1;
    reader.GetInt(&saved);
    for (int i = 0; i < saved && !reader.HasRunOut(); i++) {
        std::string name;
        if (reader.GetText(&name))
            names->push_back(name);
    }
    while (names->size() > count && IsEarlierLiveRectName(names->back())) {
        names->pop_back();
        _earlierLiveRects++;
    }
    if (reader.IsDamaged() || names->size() != count) {
        serializer->MarkDamaged("the names of its rects do not match its rects; they are restored in order");
        return false;
    }
    return true;
}

std::vector<SceneFiles::KeptRect> SceneStore::ReadKeptRects(const std::vector<SessionTrailer::Chunk>& chunks,
                                                            Serializer* serializer)
{
    std::vector<SceneFiles::KeptRect> kept;
    const SessionTrailer::Chunk* chunk = SessionTrailer::Find(chunks, KEPT_RECTS_TAG);
    if (chunk == nullptr)
        return kept;
    Serializer reader;
    reader.OpenReadMemory(chunk->payload);
    int count = 0;
    reader.GetInt(&count);
    for (int i = 0; i < count && !reader.HasRunOut(); i++) {
        SceneFiles::KeptRect rect;
        int bytes = 0;
        if (reader.GetText(&rect.name) && reader.GetInt(&bytes) && bytes == int(SOUND_RECT_RECORD_BYTES) &&
            reader.GetBytes(size_t(bytes), &rect.record))
            kept.push_back(rect);
        else
            reader.Refuse("a kept rect record of " + std::to_string(bytes) + " bytes");
    }
    if (reader.IsDamaged())
        serializer->MarkDamaged("its kept rects cannot be read: " + reader.GetError());
    return kept;
}

int SceneStore::TakeRectNamed(const std::string& name, std::vector<bool>* taken) const
{
    for (size_t i = 0; i < _app->GetSoundRects().size(); i++) {
        if (!(*taken)[i] && RectSoundName(i) == name) {
            (*taken)[i] = true;
            return int(i);
        }
    }
    return -1;
}

void SceneStore::ApplyRectRecord(size_t index, const std::vector<char>& record, Serializer* serializer)
{
    Serializer reader;
    reader.OpenReadMemory(record);
    bool sameSound = _app->GetSoundRects()[index]->UnSerialize(&reader);
    if (reader.HasRunOut())
        serializer->Refuse(reader.GetError());
    else if (!sameSound)
        std::cout << "Sound rect " << index << " (" << PrintableText::Of(RectSoundName(index))
                  << ") was saved for a sound of another length; it keeps its own sound" << std::endl;
}

std::vector<int> SceneStore::UnSerializeSoundRects(Serializer* serializer,
                                                   const std::vector<SessionTrailer::Chunk>& chunks)
{
    std::vector<int> places;
    std::vector<SceneFiles::KeptRect>* kept = _sceneFiles.MutableKeptRects();
    kept->clear();
    int savedCount = 0;
    if (!serializer->GetInt(&savedCount))
        return places;
    if (savedCount < 0) {
        serializer->Refuse("it counts " + std::to_string(savedCount) + " sound rects");
        return places;
    }
    const size_t count = size_t(savedCount);
    std::vector<std::string> names;
    const bool byName = ReadRectNames(chunks, count, &names, serializer);
    if (!byName && count != _app->GetSoundRects().size())
        std::cout << "The session was saved with " << Plural(count, "sound") << " and the folder has "
                  << _app->GetSoundRects().size() << ": rects take the saved places in order" << std::endl;
    std::vector<bool> taken(_app->GetSoundRects().size(), false);
    for (size_t i = 0; i < count && !serializer->HasRunOut(); i++) {
        std::vector<char> record;
        if (!serializer->GetBytes(SOUND_RECT_RECORD_BYTES, &record))
            break;
        int place = byName ? TakeRectNamed(names[i], &taken) : (i < _app->GetSoundRects().size() ? int(i) : -1);
        places.push_back(place);
        if (place >= 0)
            ApplyRectRecord(size_t(place), record, serializer);
        else if (byName)
            kept->push_back({names[i], record});
    }
    // Layouts an earlier save kept go back to their sounds when these are here again.
    for (SceneFiles::KeptRect& rect : ReadKeptRects(chunks, serializer)) {
        int place = TakeRectNamed(rect.name, &taken);
        if (place >= 0)
            ApplyRectRecord(size_t(place), rect.record, serializer);
        else
            kept->push_back(rect);
    }
    return places;
}

void SceneStore::UnSerializeSources(Serializer* serializer)
{
    int count = 0;
    if (!serializer->GetInt(&count))
        return;
    if (count < 0) {
        serializer->Refuse("it counts " + std::to_string(count) + " sources");
        return;
    }
    for (int i = 0; i < count && !serializer->HasRunOut(); i++) {
        int type = Source::UNDEFINED_TYPE;
        if (!serializer->GetInt(&type))
            return;
        if (!AddSourceOfType(type)) {
            serializer->Refuse("source " + std::to_string(i) + " is of an unknown kind (" + std::to_string(type) + ")");
            return;
        }
        Source* source = _app->GetSources().back();
        source->UnSerialize(serializer);
        source->GetUI()->UnSerialize(serializer);
    }
}

void SceneStore::SerializeDraws(Serializer* serializer) const
{
    serializer->PutInt(int(_app->GetSources().size()));
    for (const Source* source : _app->GetSources())
        source->SerializeDraws(serializer);
}

void SceneStore::UnSerializeDraws(Serializer* serializer)
{
    const std::vector<Source*>& sources = _app->GetSources();
    int count = 0;
    serializer->GetInt(&count);
    for (int i = 0; i < count && size_t(i) < sources.size() && !serializer->HasRunOut(); i++) {
        if (!sources[i]->UnSerializeDraws(serializer))
            serializer->Refuse("the random draws of source " + std::to_string(i) + " cannot be right");
    }
}

bool SceneStore::AddSourceOfType(int type)
{
    switch (type) {
    case Source::SINGLE_GRAIN:
        _app->AddSingleGrain(NEW_SOURCE_X, NEW_SOURCE_Y);
        return true;
    case Source::GRAIN_CLOUD:
        _app->AddGrainCloud(NEW_SOURCE_X, NEW_SOURCE_Y);
        return true;
    case Source::LOOP_SOURCE:
        _app->AddLoopSource(NEW_SOURCE_X, NEW_SOURCE_Y);
        return true;
    default:
        return false;
    }
}

void SceneStore::UnSerializeAppState(Serializer* serializer, const std::vector<int>& rectPlaces)
{
    // The sample duration is a constant of the program.
    serializer->Skip(sizeof(double));
    _app->GetView()->UnSerializeOffsetAndZoom(serializer);
    int selectionMode = _selectionMode;
    if (serializer->GetInt(&selectionMode) && (selectionMode == Selection::RECT || selectionMode == Selection::SOURCE))
        _selectionMode = selectionMode;
    // The drag mode follows a held key, which is up at start; the window keeps
    // the size and screen mode it has, so F5 still knows which one it is in.
    serializer->Skip(sizeof(int));
    int selectedSource = -1, selectedRect = -1;
    serializer->GetInt(&selectedSource);
    serializer->GetInt(&selectedRect);
    _app->GetSelection()->SetSelectedSourceIndex(
        (selectedSource >= 0 && size_t(selectedSource) < _app->GetSources().size()) ? selectedSource : -1);
    // The saved selection names a record; the rect it went to is selected.
    _app->GetSelection()->SetSelectedRectIndex(
        (selectedRect >= 0 && size_t(selectedRect) < rectPlaces.size()) ? rectPlaces[selectedRect] : -1);
    serializer->Skip(3 * sizeof(int));
    int style = -1;
    if (serializer->GetInt(&style))
        _app->GetStyles()->RestoreStyle(style);
}

void SceneStore::RecallSceneSlot(int slot)
{
    if (slot >= 1 && slot <= SceneFiles::NUM_SLOTS)
        _sceneFiles.SetPendingRecall(slot);
}

void SceneStore::RecallPendingScene()
{
    const int slot = _sceneFiles.TakePendingRecall();
    if (slot == 0)
        return;
    // Read before the scene lock is taken: the audio never waits for the disk.
    const std::string path = _sceneFiles.GetSlotPath(slot);
    Serializer serializer;
    std::string why;
    switch (serializer.ReadFile(path.c_str())) {
    case Serializer::READ_MISSING:
        RefuseRecall(slot, "Scene " + std::to_string(slot) + " is empty: Ctrl+Shift+F" + std::to_string(slot) +
                               " saves the scene there");
        return;
    case Serializer::READ_REFUSED:
        why = serializer.GetError();
        break;
    case Serializer::READ_WHOLE:
        why = WhyNoScene(serializer.GetStream());
        break;
    }
    if (!why.empty()) {
        RefuseRecall(slot, "Scene " + std::to_string(slot) + " cannot be read from " + path + " (" + why +
                               "); the scene stays as it is");
        return;
    }
    const std::vector<char> file = serializer.GetStream();
    _app->_mutex->lock();
    RecallScene(&serializer);
    _app->_mutex->unlock();
    ReportRestore(path, file, serializer);
}

std::string SceneStore::WhyNoScene(const std::vector<char>& file)
{
    if (file.empty())
        return "it is empty";
    size_t recordsEnd = 0;
    std::vector<SessionTrailer::Chunk> chunks;
    std::string why;
    switch (SessionTrailer::Read(file, &recordsEnd, &chunks, &why)) {
    case SessionTrailer::ABSENT:
        return "it does not end as a saved scene does";
    case SessionTrailer::DAMAGED:
        return why;
    default:
        return "";
    }
}

void SceneStore::RefuseRecall(int slot, const std::string& text)
{
    const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    if (now - _recallRefusedAt[size_t(slot)] < RECALL_REFUSAL_INTERVAL)
        return;
    _recallRefusedAt[size_t(slot)] = now;
    _app->ShowMessage(text, true);
}

void SceneStore::RecallScene(Serializer* serializer)
{
    _app->ClosePieMenu();
    _app->GetSelection()->Deselect(Selection::SOURCE);
    // The sounding sources fade out over the next block while the recalled
    // ones start with their first grains' envelopes.
    for (size_t i = _app->GetSources().size(); i-- > 0;)
        _app->ReleaseSource(i);
    UnSerializeSession(serializer);
}

void SceneStore::RestoreSelection()
{
    for (size_t i = 0; i < _app->GetSources().size(); i++)
        _app->GetSources()[i]->GetUI()->SetSelectState(int(i) == _app->GetSelection()->GetSelectedSourceIndex());
    for (size_t i = 0; i < _app->GetSoundRects().size(); i++)
        _app->GetSoundRects()[i]->GetUI()->SetSelectState(int(i) == _app->GetSelection()->GetSelectedRectIndex());
}
