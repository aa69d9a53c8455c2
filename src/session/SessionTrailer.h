#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Serializer;

// The trailing section of a session file: what the scene's own records
// cannot say, in tagged chunks after them, and a checksum over the whole
// file. A reader of the records alone stops before it, so a file with it
// still loads there; a file without it (an older save) loads as before.
//
// Layout, in the machine's byte order, after the scene's last record:
//   8 bytes   "ZFTRAIL" and a zero byte: the start of the section
//   Int       version of the section's framing (VERSION)
//   chunks    each a 4-byte tag, an Int payload length, the payload;
//             readers step over tags they do not know
//   24 bytes  the footer: Long offset of the section's start (the length of
//             the scene's records), 8 bytes of checksum (64-bit FNV-1a of
//             every byte of the file before it), "ZFSCENE" and a zero byte
class SessionTrailer {
public:
    static const int VERSION = 1;
    static const size_t FOOTER_BYTES = 24;

    // One record kind of the section.
    struct Chunk {
        std::string tag;
        std::vector<char> payload;
    };
    enum State {
        // No section: the file is the scene's records alone.
        ABSENT,
        WHOLE,
        // The checksum does not match, or the section cannot be found or
        // walked: what could be read of it is given all the same.
        DAMAGED,
        // A whole section of a later version than this build writes: its
        // chunks are not walked, the records before it still load.
        LATER,
    };

    virtual ~SessionTrailer() {}

    // Appends the section holding chunks to the records written so far.
    static void Append(const std::vector<Chunk>& chunks, Serializer* serializer);
    // Finds the section at the end of file: where the scene's records end
    // (the whole file without a section) and the chunks; why, when damaged.
    static State Read(const std::vector<char>& file, size_t* recordsEnd, std::vector<Chunk>* chunks, std::string* why);
    // The version of the section that starts at recordsEnd, as Read found it.
    static int VersionAt(const std::vector<char>& file, size_t recordsEnd);
    // The first chunk of that tag, or null.
    static const Chunk* Find(const std::vector<Chunk>& chunks, const char* tag);
    static uint64_t Checksum(const char* bytes, size_t count);
};
