#include "session/SessionTrailer.h"

#include <cstring>

#include "session/Serializer.h"

namespace {

const char START_MARK[8] = {'Z', 'F', 'T', 'R', 'A', 'I', 'L', '\0'};
const char END_MARK[8] = {'Z', 'F', 'S', 'C', 'E', 'N', 'E', '\0'};
const size_t TAG_BYTES = 4;
const size_t HEADER_BYTES = sizeof(START_MARK) + sizeof(int);
const size_t CHUNK_HEADER_BYTES = TAG_BYTES + sizeof(int);
const uint64_t FNV_OFFSET = 14695981039346656037ull;
const uint64_t FNV_PRIME = 1099511628211ull;

template <typename T>
T ReadAt(const std::vector<char>& file, size_t at)
{
    T value;
    memcpy(&value, file.data() + at, sizeof(value));
    return value;
}

// Walks the chunks of [begin, end); false when one runs past the end.
bool ReadChunks(const std::vector<char>& file, size_t begin, size_t end, std::vector<SessionTrailer::Chunk>* chunks)
{
    size_t at = begin;
    while (end - at >= CHUNK_HEADER_BYTES) {
        SessionTrailer::Chunk chunk;
        chunk.tag.assign(file.data() + at, TAG_BYTES);
        int length = ReadAt<int>(file, at + TAG_BYTES);
        at += CHUNK_HEADER_BYTES;
        if (length < 0 || size_t(length) > end - at)
            return false;
        chunk.payload.assign(file.begin() + long(at), file.begin() + long(at + size_t(length)));
        chunks->push_back(chunk);
        at += size_t(length);
    }
    return at == end;
}

}  // namespace

uint64_t SessionTrailer::Checksum(const char* bytes, size_t count)
{
    // FNV-1a: every step is a bijection of the state, so changing any one
    // byte always changes the sum.
    uint64_t hash = FNV_OFFSET;
    for (size_t i = 0; i < count; i++) {
        hash ^= uint8_t(bytes[i]);
        hash *= FNV_PRIME;
    }
    return hash;
}

void SessionTrailer::Append(const std::vector<Chunk>& chunks, Serializer* serializer)
{
    const size_t start = serializer->GetStream().size();
    serializer->PutBytes(std::vector<char>(START_MARK, START_MARK + sizeof(START_MARK)));
    serializer->PutInt(VERSION);
    for (const Chunk& chunk : chunks) {
        std::string tag = chunk.tag;
        tag.resize(TAG_BYTES, ' ');
        serializer->PutBytes(std::vector<char>(tag.begin(), tag.end()));
        serializer->PutInt(int(chunk.payload.size()));
        serializer->PutBytes(chunk.payload);
    }
    serializer->PutLong(long(start));
    const std::vector<char>& file = serializer->GetStream();
    uint64_t sum = Checksum(file.data(), file.size());
    long stored;
    memcpy(&stored, &sum, sizeof(stored));
    serializer->PutLong(stored);
    serializer->PutBytes(std::vector<char>(END_MARK, END_MARK + sizeof(END_MARK)));
}

SessionTrailer::State SessionTrailer::Read(const std::vector<char>& file, size_t* recordsEnd,
                                           std::vector<Chunk>* chunks, std::string* why)
{
    *recordsEnd = file.size();
    chunks->clear();
    if (file.size() < FOOTER_BYTES || memcmp(file.data() + file.size() - sizeof(END_MARK), END_MARK, sizeof(END_MARK)))
        return ABSENT;
    const size_t footer = file.size() - FOOTER_BYTES;
    const size_t sumAt = footer + sizeof(long);
    State state = WHOLE;
    if (ReadAt<uint64_t>(file, sumAt) != Checksum(file.data(), sumAt)) {
        *why = "its checksum does not match: it changed after it was saved";
        state = DAMAGED;
    }
    const long start = ReadAt<long>(file, footer);
    if (start < 0 || size_t(start) > footer || footer - size_t(start) < HEADER_BYTES ||
        memcmp(file.data() + start, START_MARK, sizeof(START_MARK)) != 0) {
        *why = "its trailing section cannot be found";
        *recordsEnd = footer;
        return DAMAGED;
    }
    *recordsEnd = size_t(start);
    // A later framing is not walked; the records alone still load.
    if (VersionAt(file, size_t(start)) > VERSION)
        return state == WHOLE ? LATER : state;
    if (!ReadChunks(file, size_t(start) + HEADER_BYTES, footer, chunks) && state == WHOLE) {
        *why = "a record of its trailing section runs past the section's end";
        state = DAMAGED;
    }
    return state;
}

int SessionTrailer::VersionAt(const std::vector<char>& file, size_t recordsEnd)
{
    return ReadAt<int>(file, recordsEnd + sizeof(START_MARK));
}

const SessionTrailer::Chunk* SessionTrailer::Find(const std::vector<Chunk>& chunks, const char* tag)
{
    for (const Chunk& chunk : chunks)
        if (chunk.tag == tag)
            return &chunk;
    return nullptr;
}
