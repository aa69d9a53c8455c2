// The session file: the whole scene written on F12 and read back as the last
// step of start-up. Sound rects are matched to the loaded sounds by load
// order; sources are created anew and read into, one record after another.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <stk/Mutex.h>
#include <string>

#include "app/App.h"
#include "app/CanvasView.h"
#include "app/StyleSwitch.h"
#include "effects/EffectsBox.h"
#include "session/Serializer.h"
#include "sound/SoundRect.h"
#include "sources/Source.h"
#include "ui/UISoundRect.h"
#include "ui/UISource.h"

namespace {

const char* const SESSION_FILE = "session.bin";
// Where a session that did not load whole is kept, so that saving over it
// never throws away what could not be read.
const char* const DAMAGED_SESSION_FILE = "session.bin.damaged";
// A sound rect's record (with four parameters), for stepping over records
// of rects that are not loaded now.
const size_t SOUND_RECT_RECORD_BYTES = 284;
// Sources are created from the canvas origin; their views move them.
const double NEW_SOURCE_X = 0.0;
const double NEW_SOURCE_Y = 0.0;
// How long a message about the session stays on screen.
const double MESSAGE_SECONDS = 6.0;

std::string Plural(size_t count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

void App::SaveCurrentSession()
{
    Serializer encoder;
    encoder.OpenWriteMemory();
    SerializeSession(&encoder);
    _pendingSession = encoder.GetStream();
    _sessionSavePending = true;
}

void App::WritePendingSession()
{
    if (!_sessionSavePending)
        return;
    _sessionSavePending = false;
    std::string error;
    if (WriteSessionFile(SESSION_FILE, _pendingSession, &error)) {
        ShowMessage(std::string("Session saved to ") + SESSION_FILE, false);
        return;
    }
    ShowMessage(std::string("Could not save the session: ") + error + "; the previous " + SESSION_FILE +
                    " is kept as it was",
                true);
}

bool App::SerializeSession(const char* fileName, std::string* error)
{
    Serializer encoder;
    encoder.OpenWriteMemory();
    SerializeSession(&encoder);
    return WriteSessionFile(fileName, encoder.GetStream(), error);
}

bool App::WriteSessionFile(const char* fileName, const std::vector<char>& bytes, std::string* error)
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

void App::SerializeSession(Serializer* serializer)
{
    SerializeSoundRects(serializer);
    SerializeSources(serializer);
    SerializeAppState(serializer);
    _masterEffectsBox->Serialize(serializer);
}

void App::SerializeSoundRects(Serializer* serializer)
{
    // The loaded sounds' rects; the live ones come after them and are not sounds of the folder.
    const size_t numFileRects = _soundRects.size() - _liveRects.size();
    serializer->PutInt(int(numFileRects));
    for (size_t i = 0; i < numFileRects; i++)
        _soundRects[i]->Serialize(serializer);
}

void App::SerializeSources(Serializer* serializer)
{
    serializer->PutInt(int(_sources.size()));
    for (Source* source : _sources) {
        serializer->PutInt(source->GetSourceType());
        source->Serialize(serializer);
        source->GetUI()->Serialize(serializer);
    }
}

void App::SerializeAppState(Serializer* serializer)
{
    serializer->PutDouble(_sampTimeSec);
    _view->SerializeOffsetAndZoom(serializer);
    serializer->PutInt(_selectionMode);
    serializer->PutInt(_dragMode);
    serializer->PutInt(_selectedSource);
    serializer->PutInt(_selectedRect);
    _view->SerializeWindow(serializer);
    serializer->PutInt(std::max(_styles->GetStyleNum(), 0));
}

void App::UnSerializeSession()
{
    Serializer serializer;
    if (!serializer.OpenReadFile(SESSION_FILE))
        return;
    _mutex->lock();
    UnSerializeSession(&serializer);
    _mutex->unlock();
    if (!serializer.HasRunOut()) {
        ShowMessage(std::string("Session restored from ") + SESSION_FILE + ": " + Plural(_soundRects.size(), "rect") +
                        ", " + Plural(_sources.size(), "source"),
                    false);
        return;
    }
    // Keep the file as it is beside the one the next save writes.
    unlink(DAMAGED_SESSION_FILE);
    bool kept = link(SESSION_FILE, DAMAGED_SESSION_FILE) == 0;
    ShowMessage(std::string(SESSION_FILE) + " could not be read whole (" + serializer.GetError() +
                    "); kept what it could read: " + Plural(_sources.size(), "source") +
                    (kept ? std::string("; the file is kept as ") + DAMAGED_SESSION_FILE : ""),
                true);
}

void App::UnSerializeSession(Serializer* serializer)
{
    Deselect(SOURCE);
    Deselect(RECT);
    UnSerializeSoundRects(serializer);
    UnSerializeSources(serializer);
    UnSerializeAppState(serializer);
    _masterEffectsBox->UnSerialize(serializer);
    RestoreSelection();
}

void App::UnSerializeSoundRects(Serializer* serializer)
{
    int savedCount = 0;
    if (!serializer->GetInt(&savedCount))
        return;
    if (savedCount < 0) {
        serializer->Refuse("it counts " + std::to_string(savedCount) + " sound rects");
        return;
    }
    const size_t count = size_t(savedCount);
    if (count != _soundRects.size())
        std::cout << "The session was saved with " << Plural(count, "sound") << ", " << _soundRects.size()
                  << " are loaded: the first " << std::min(count, _soundRects.size())
                  << " rects take their saved places" << std::endl;
    for (size_t i = 0; i < count && !serializer->HasRunOut(); i++) {
        if (i >= _soundRects.size()) {
            serializer->Skip(SOUND_RECT_RECORD_BYTES);
            continue;
        }
        if (!_soundRects[i]->UnSerialize(serializer) && !serializer->HasRunOut())
            std::cout << "Sound rect " << i << " (" << _soundRects[i]->GetUI()->GetName()
                      << ") was saved for a sound of another length; it keeps its own sound" << std::endl;
    }
}

void App::UnSerializeSources(Serializer* serializer)
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
        Source* source = _sources.back();
        source->UnSerialize(serializer);
        source->GetUI()->UnSerialize(serializer);
    }
}

bool App::AddSourceOfType(int type)
{
    switch (type) {
    case Source::SINGLE_GRAIN:
        AddSingleGrain(NEW_SOURCE_X, NEW_SOURCE_Y);
        return true;
    case Source::GRAIN_CLOUD:
        AddGrainCloud(NEW_SOURCE_X, NEW_SOURCE_Y);
        return true;
    case Source::LOOP_SOURCE:
        AddLoopSource(NEW_SOURCE_X, NEW_SOURCE_Y);
        return true;
    default:
        return false;
    }
}

void App::UnSerializeAppState(Serializer* serializer)
{
    // The sample duration is a constant of the program.
    serializer->Skip(sizeof(double));
    _view->UnSerializeOffsetAndZoom(serializer);
    int selectionMode = _selectionMode;
    if (serializer->GetInt(&selectionMode) && (selectionMode == RECT || selectionMode == SOURCE))
        _selectionMode = selectionMode;
    // The drag mode follows a held key, which is up at start; the window keeps
    // the size and screen mode it has, so F5 still knows which one it is in.
    serializer->Skip(sizeof(int));
    int selectedSource = -1, selectedRect = -1;
    serializer->GetInt(&selectedSource);
    serializer->GetInt(&selectedRect);
    _selectedSource = (selectedSource >= 0 && size_t(selectedSource) < _sources.size()) ? selectedSource : -1;
    _selectedRect = (selectedRect >= 0 && size_t(selectedRect) < _soundRects.size()) ? selectedRect : -1;
    serializer->Skip(3 * sizeof(int));
    int style = -1;
    if (serializer->GetInt(&style))
        _styles->RestoreStyle(style);
}

void App::RestoreSelection()
{
    for (size_t i = 0; i < _sources.size(); i++)
        _sources[i]->GetUI()->SetSelectState(int(i) == _selectedSource);
    for (size_t i = 0; i < _soundRects.size(); i++)
        _soundRects[i]->GetUI()->SetSelectState(int(i) == _selectedRect);
}

void App::ShowMessage(const std::string& text, bool isError)
{
    (isError ? std::cerr : std::cout) << text << std::endl;
    _message = text;
    _messageIsError = isError;
    _messageUntil = std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                           std::chrono::duration<double>(MESSAGE_SECONDS));
}
