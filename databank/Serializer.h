#pragma once
// The container file: a 65,536-byte header block (signature, list count, list table) and the
// list images it points at. Reading checks every count, offset and size against the bytes
// actually in the file before anything is used; a file that fails any check is refused whole.

#include "databank/ChunkList.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct TVESerializerEntry
{
    char szName[256] = {};  // the writer's label; the reader does not need it
    int32_t nId = 0;
    int32_t nSize = 0;
    int32_t nOffset = 0;
};

class TVESerializer
{
public:
    static constexpr int32_t HEADER_SIZE = 65536;
    static constexpr int32_t ITEMS_OFFSET = 320;
    static constexpr int32_t TABLE_OFFSET = 324;
    static constexpr int32_t ENTRY_SIZE = 276;
    // All entries lie inside the header block: 324 + 236 x 276 = 65,460.
    static constexpr int32_t MAXCHUNKS = 236;
    // A list image longer than this is refused, also one that runs past the end of the file
    // (whose missing tail reads as zeros): no list may make the reader allocate more.
    static constexpr int32_t MAX_LIST_IMAGE = 64 * 1024 * 1024;
    static constexpr char SIGNATURE[] = "VM SERIALIZER (C) 2006 Quendrivaltomabershix - Rel 1.00#";
    static_assert(sizeof SIGNATURE == 57, "the signature and its zero byte fill 57 bytes");

    TVESerializer() = default;
    ~TVESerializer();
    TVESerializer(const TVESerializer&) = delete;
    TVESerializer& operator=(const TVESerializer&) = delete;

    // Opens the file and reads and checks its header block and list table.
    bool Open(const std::string& strPath);
    void Close();

    const std::vector<TVESerializerEntry>& GetEntries() const { return m_vecEntries; }
    // The first entry with that list ID, or null.
    const TVESerializerEntry* FindEntry(int32_t nId) const;
    // Reads and parses the list with that ID; null when there is none or its image is malformed.
    std::unique_ptr<TVEChunkList> LoadList(int32_t nId);
    // Bytes a LoadList of that entry reads from the file.
    uint64_t GetBytesInFile(const TVESerializerEntry& Entry) const;
    // Bytes of the list image that lie past the end of the file. The game reads them as zeros;
    // a tool that checks the file reports them.
    uint64_t GetMissingBytes(const TVESerializerEntry& Entry) const;
    // Empty when the whole list image is in the file; otherwise a line naming the list and how
    // many bytes are missing.
    std::string DescribeMissing(const TVESerializerEntry& Entry) const;
    uint64_t GetFileSize() const { return m_nFileSize; }
    // The whole file's SHA-256, read through the open file, whose place is kept; false when it
    // cannot be read whole.
    bool Sha256(std::array<uint8_t, 32>& Sha);
    void Dump(std::string& strText) const;
    const std::string& GetError() const { return m_strError; }

    // Opens the file, loads one list and closes it: null when the file cannot be read, is not
    // a data file, holds no list with that ID or a malformed one (pError says which).
    static std::unique_ptr<TVEChunkList> LoadChunkList(const std::string& strPath, int32_t nId,
                                                       std::string* pError = nullptr);

private:
    bool Fail(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
    bool ReadTable(const uint8_t* pHeader);

    FILE* m_fp = nullptr;
    std::string m_strPath;
    uint64_t m_nFileSize = 0;
    std::vector<TVESerializerEntry> m_vecEntries;
    std::string m_strError;
};
