#include "databank/Serializer.h"

#include "base/TextFormat.h"
#include "databank/RegularFile.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstdarg>
#include <cstring>

TVESerializer::~TVESerializer()
{
    Close();
}

bool TVESerializer::Fail(const char* szFormat, ...)
{
    va_list Args;
    va_start(Args, szFormat);
    m_strError = m_strPath + ": " + FormatTextV(szFormat, Args);
    va_end(Args);
    return false;
}

void TVESerializer::Close()
{
    if (m_fp)
        std::fclose(m_fp);
    m_fp = nullptr;
    m_vecEntries.clear();
    m_nFileSize = 0;
}

bool TVESerializer::Open(const std::string& strPath)
{
    Close();
    m_strPath = strPath;
    m_strError.clear();
    std::string strError;
    m_fp = TRegularFile::Open(strPath, &m_nFileSize, strError);
    if (!m_fp) {
        m_strError = strError;
        return false;
    }
    std::vector<uint8_t> Header(HEADER_SIZE);
    if (m_nFileSize < static_cast<uint64_t>(HEADER_SIZE) || std::fread(Header.data(), 1, Header.size(), m_fp) != Header.size()) {
        const auto nSize = static_cast<unsigned long long>(m_nFileSize);
        Close();
        return Fail("%llu bytes, shorter than the %d-byte header block", nSize, HEADER_SIZE);
    }
    if (std::memcmp(Header.data(), SIGNATURE, sizeof SIGNATURE) != 0) {
        Close();
        return Fail("not a data file (wrong signature)");
    }
    if (!ReadTable(Header.data())) {
        const std::string strError = m_strError;
        Close();
        m_strError = strError;
        return false;
    }
    return true;
}

bool TVESerializer::Sha256(std::array<uint8_t, 32>& Sha)
{
    if (!m_fp)
        return false;
    const long nPlace = std::ftell(m_fp);
    QCryptographicHash Hash(QCryptographicHash::Sha256);
    std::vector<char> Buffer(1 << 16);
    uint64_t nRead = 0;
    bool bOk = nPlace >= 0 && std::fseek(m_fp, 0, SEEK_SET) == 0;
    for (size_t n; bOk && (n = std::fread(Buffer.data(), 1, Buffer.size(), m_fp)) > 0; nRead += n)
        Hash.addData(Buffer.data(), static_cast<int>(n));
    bOk = bOk && !std::ferror(m_fp) && nRead == m_nFileSize && std::fseek(m_fp, nPlace, SEEK_SET) == 0;
    if (!bOk)
        return Fail("cannot be read whole");
    const QByteArray Result = Hash.result();
    std::copy(Result.begin(), Result.end(), Sha.begin());
    return true;
}

bool TVESerializer::ReadTable(const uint8_t* pHeader)
{
    const int32_t nItems = ReadLE32(pHeader + ITEMS_OFFSET);
    if (nItems < 0 || nItems > MAXCHUNKS)
        return Fail("list count %d outside 0 to %d", nItems, MAXCHUNKS);
    std::vector<TVESerializerEntry> vecEntries(static_cast<size_t>(nItems));
    for (int32_t i = 0; i < nItems; ++i) {
        const uint8_t* p = pHeader + TABLE_OFFSET + ENTRY_SIZE * i;
        TVESerializerEntry& Entry = vecEntries[static_cast<size_t>(i)];
        std::memcpy(Entry.szName, p, sizeof Entry.szName);
        Entry.szName[sizeof Entry.szName - 1] = '\0';
        Entry.nId = ReadLE32(p + 256);
        Entry.nSize = ReadLE32(p + 264);
        Entry.nOffset = ReadLE32(p + 272);
        if (Entry.nSize <= 0 || Entry.nSize > MAX_LIST_IMAGE)
            return Fail("list %d (entry %d): size %d outside 1 to %d", Entry.nId, i, Entry.nSize, MAX_LIST_IMAGE);
        if (Entry.nOffset < 0 || static_cast<uint64_t>(Entry.nOffset) >= m_nFileSize)
            return Fail("list %d (entry %d): offset %d outside the file (%llu bytes)", Entry.nId, i, Entry.nOffset,
                        static_cast<unsigned long long>(m_nFileSize));
    }
    m_vecEntries = std::move(vecEntries);
    return true;
}

const TVESerializerEntry* TVESerializer::FindEntry(int32_t nId) const
{
    for (const auto& Entry : m_vecEntries)
        if (Entry.nId == nId)
            return &Entry;
    return nullptr;
}

uint64_t TVESerializer::GetBytesInFile(const TVESerializerEntry& Entry) const
{
    const auto nOffset = static_cast<uint64_t>(Entry.nOffset);
    return std::min<uint64_t>(static_cast<uint64_t>(Entry.nSize), m_nFileSize - nOffset);
}

uint64_t TVESerializer::GetMissingBytes(const TVESerializerEntry& Entry) const
{
    return static_cast<uint64_t>(Entry.nSize) - GetBytesInFile(Entry);
}

std::string TVESerializer::DescribeMissing(const TVESerializerEntry& Entry) const
{
    const uint64_t nMissing = GetMissingBytes(Entry);
    if (nMissing == 0)
        return "";
    return m_strPath + ": list " + std::to_string(Entry.nId) + " is cut short: " + std::to_string(nMissing) +
           " of its " + std::to_string(Entry.nSize) + " bytes (from offset " + std::to_string(Entry.nOffset) +
           ") lie past the end of the file at " + std::to_string(m_nFileSize);
}

std::unique_ptr<TVEChunkList> TVESerializer::LoadList(int32_t nId)
{
    m_strError.clear();
    if (!m_fp) {
        Fail("not open");
        return nullptr;
    }
    const TVESerializerEntry* pEntry = FindEntry(nId);
    if (!pEntry) {
        Fail("no list %d", nId);
        return nullptr;
    }
    TVEFileSource Source(m_fp, static_cast<uint64_t>(pEntry->nOffset), static_cast<uint64_t>(pEntry->nSize), m_nFileSize);
    auto pList = std::make_unique<TVEChunkList>();
    if (pList->Build(Source) == 0) {
        Fail("list %d at offset %d: %s", nId, pEntry->nOffset, pList->GetError().c_str());
        return nullptr;
    }
    return pList;
}

void TVESerializer::Dump(std::string& strText) const
{
    char szBuf[512];
    strText += "\n ** Serializer **";
    std::snprintf(szBuf, sizeof szBuf, "\n  Items: %d", static_cast<int>(m_vecEntries.size()));
    strText += szBuf;
    for (size_t i = 0; i < m_vecEntries.size(); ++i) {
        const TVESerializerEntry& Entry = m_vecEntries[i];
        std::snprintf(szBuf, sizeof szBuf, "\n  Item: %d  Id: %d  Name: '%s'  Offset: %d  Size: %d", static_cast<int>(i),
                      Entry.nId, Entry.szName, Entry.nOffset, Entry.nSize);
        strText += szBuf;
        if (const uint64_t nMissing = GetMissingBytes(Entry))
            strText += "  (" + std::to_string(nMissing) + " bytes missing: the file ends first)";
    }
}

std::unique_ptr<TVEChunkList> TVESerializer::LoadChunkList(const std::string& strPath, int32_t nId, std::string* pError)
{
    TVESerializer Serializer;
    std::unique_ptr<TVEChunkList> pList;
    if (Serializer.Open(strPath))
        pList = Serializer.LoadList(nId);
    if (pError)
        *pError = Serializer.GetError();
    return pList;
}
