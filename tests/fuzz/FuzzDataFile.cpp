#include "tests/fuzz/FuzzDataFile.h"

#include "databank/AssetIds.h"
#include "databank/Serializer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {
// The writer syncs what it writes: in memory (tmpfs) that costs nothing, on a disk it would be
// most of each run.
std::string MakeMemoryDir()
{
    struct stat St;
    if (stat("/dev/shm", &St) != 0 || !S_ISDIR(St.st_mode))
        return MakeTempDir();
    static char szDir[] = "/dev/shm/drelk2-fuzz-XXXXXX";
    if (!mkdtemp(szDir))
        return MakeTempDir();
    std::atexit([] {
        std::remove((std::string(szDir) + "/Drelk_II.bin").c_str());
        rmdir(szDir);
    });
    return szDir;
}


// The file as small as the bank takes, so that a run costs little more than the item: no
// music and no background (both optional), tiny ending pictures.
TTestLists SmallLists()
{
    TTestLists vecLists;
    for (auto& pList : MakeTestLists()) {
        const int32_t nId = pList->GetHeader().nId;
        if (nId == ID_PLAYLIST_MUSICS)
            continue;
        auto pCopy = std::make_unique<TVEChunkList>();
        pCopy->SetId(nId);
        pCopy->SetType(pList->GetType());
        for (int i = 0; i < pList->GetCount(); ++i) {
            const TVEChunk& Chunk = *pList->GetChunk(i);
            if (nId == ID_PLAYLIST_BITMAPS && Chunk.m_Data.nId == ID_BMP_BACKGROUND)
                continue;
            const std::vector<uint8_t> Picture = MakePng(8, 8, 0x405060u);
            const bool bPicture = nId == ID_PLAYLIST_ENDING;
            TVEChunk& Copy = pCopy->AddChunk(Chunk.GetType(), Chunk.m_Data.nId, Chunk.m_Data.szName,
                                             bPicture ? Picture.data() : Chunk.m_Data.pData.get(),
                                             bPicture ? static_cast<int32_t>(Picture.size()) : Chunk.m_Data.nSize);
            if (Chunk.GetType() == VECHUNK_IMAGE_RAW_RGBA) {
                auto& Image = static_cast<TVEChunkImageRawRgba&>(Copy);
                const auto& Original = static_cast<const TVEChunkImageRawRgba&>(Chunk);
                Image.nWidth = Original.nWidth;
                Image.nHeight = Original.nHeight;
                Image.nComponents = Original.nComponents;
            }
        }
        vecLists.push_back(std::move(pCopy));
    }
    return vecLists;
}
}  // namespace

TFuzzDataFile::TFuzzDataFile(int32_t nList, int32_t nKind, int32_t nItem) : m_vecLists(SmallLists())
{
    for (const auto& pList : m_vecLists)
        if (pList->GetHeader().nId == nList)
            m_pItem = pList->FindChunk(nKind, nItem);
    if (!m_pItem)
        throw std::runtime_error("the test data file has no such item");
    m_strPath = MakeMemoryDir() + "/Drelk_II.bin";
}

std::string TFuzzDataFile::Write(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0 || nSize > static_cast<size_t>(TVESerializer::MAX_LIST_IMAGE) / 2)
        return "";
    m_pItem->SetPayload(pData, static_cast<int32_t>(nSize));
    WriteTestDataFile(m_strPath, m_vecLists);
    return m_strPath;
}
