#include "tests/support/TestDataFile.h"

#include "base/MathConstants.h"
#include "databank/AssetIds.h"
#include "databank/SerializerWriter.h"

#include <QBuffer>
#include <QImage>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

const char TEST_MODEL_SCENE[] = "#Inventor V2.1 ascii\n"
                                "Separator {\n"
                                "  DEF VEIMAGE_000001 Texture2 { }\n"
                                "  Cube { width 0.6 height 0.2 depth 1.0 }\n"
                                "}\n";

namespace {
void PutLE(std::vector<uint8_t>& Bytes, uint32_t nValue, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        Bytes.push_back(static_cast<uint8_t>(nValue >> (8 * i)));
}

void AddBytes(TVEChunkList& List, int32_t nKind, int32_t nId, const std::string& strName,
              const std::vector<uint8_t>& Bytes)
{
    List.AddChunk(nKind, nId, strName.c_str(), Bytes.data(), static_cast<int32_t>(Bytes.size()));
}

std::unique_ptr<TVEChunkList> NewList(int32_t nId, const char* szName, int32_t nType = 0)
{
    auto pList = std::make_unique<TVEChunkList>();
    pList->SetId(nId);
    pList->SetName(szName);
    pList->SetType(nType);
    return pList;
}
}  // namespace

std::vector<uint8_t> MakeToneWav(double dSeconds, double dHz, int nRate)
{
    const auto nSamples = static_cast<uint32_t>(dSeconds * nRate);
    std::vector<uint8_t> Wav;
    Wav.insert(Wav.end(), {'R', 'I', 'F', 'F'});
    PutLE(Wav, 36 + nSamples * 2, 4);
    Wav.insert(Wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLE(Wav, 16, 4);
    PutLE(Wav, 1, 2);  // PCM
    PutLE(Wav, 1, 2);  // mono
    PutLE(Wav, static_cast<uint32_t>(nRate), 4);
    PutLE(Wav, static_cast<uint32_t>(nRate) * 2, 4);
    PutLE(Wav, 2, 2);
    PutLE(Wav, 16, 2);
    Wav.insert(Wav.end(), {'d', 'a', 't', 'a'});
    PutLE(Wav, nSamples * 2, 4);
    for (uint32_t i = 0; i < nSamples; ++i) {
        const double dValue = 0.5 * std::sin(2.0 * PI * dHz * i / nRate);
        PutLE(Wav, static_cast<uint16_t>(static_cast<int16_t>(dValue * 32767.0)), 2);
    }
    return Wav;
}

std::vector<uint8_t> MakePng(int nWidth, int nHeight, unsigned nRgb)
{
    QImage Image(nWidth, nHeight, QImage::Format_RGB32);
    Image.fill(nRgb);
    QByteArray Bytes;
    QBuffer Buffer(&Bytes);
    Buffer.open(QIODevice::WriteOnly);
    Image.save(&Buffer, "PNG");
    return std::vector<uint8_t>(Bytes.begin(), Bytes.end());
}

TTestLists MakeTestLists()
{
    TTestLists vecLists;
    auto pMusics = NewList(ID_PLAYLIST_MUSICS, "MUSICS");
    auto pSounds = NewList(ID_PLAYLIST_SOUNDS, "SOUNDS");
    auto pBitmaps = NewList(ID_PLAYLIST_BITMAPS, "BITMAPS");
    auto pXplosions = NewList(ID_PLAYLIST_XPLOSIONS, "XPLOSIONS");
    auto pEnding = NewList(ID_PLAYLIST_ENDING, "ENDING");
    double dHz = 220.0;
    for (const TAssetItem& Asset : GetAssetTable()) {
        const std::string strName = "ITEM_" + std::to_string(Asset.nItem);
        if (Asset.nKind == VECHUNK_WAV) {
            TVEChunkList& List = Asset.nPlaylist == ID_PLAYLIST_MUSICS ? *pMusics : *pSounds;
            AddBytes(List, VECHUNK_WAV, Asset.nItem, strName, MakeToneWav(0.25, dHz += 55.0));
        } else if (Asset.nPlaylist == ID_PLAYLIST_ENDING) {
            const int nHeight = Asset.nItem == ID_BMP_ENDING_FORE ? 300 : 340;
            AddBytes(*pEnding, VECHUNK_BMP, Asset.nItem, strName, MakePng(512, nHeight, 0x203040u + Asset.nItem));
        } else {
            // Each texture a different grey, so a test can tell them apart.
            std::vector<uint8_t> Pixels(static_cast<size_t>(Asset.Shape.GetBytes()),
                                        static_cast<uint8_t>(Asset.nItem));
            TVEChunkList& List = Asset.nPlaylist == ID_PLAYLIST_XPLOSIONS ? *pXplosions : *pBitmaps;
            AddBytes(List, VECHUNK_BMP, Asset.nItem, strName, Pixels);
        }
    }
    auto pModels = NewList(ID_PLAYLIST_MODELS, "MODELS", VECHUNKLIST_TYPE_MODEL);
    pModels->AddChunk(VECHUNK_VRML_SHAPE, 1, "SHIP", reinterpret_cast<const uint8_t*>(TEST_MODEL_SCENE),
                      static_cast<int32_t>(std::strlen(TEST_MODEL_SCENE)));
    const std::vector<uint8_t> Hull(4 * 4 * 3, 0x80);
    auto& Image = static_cast<TVEChunkImageRawRgba&>(
        pModels->AddChunk(VECHUNK_IMAGE_RAW_RGBA, 2, "VEIMAGE_000001", Hull.data(), static_cast<int32_t>(Hull.size())));
    Image.nWidth = 4;
    Image.nHeight = 4;
    Image.nComponents = 3;

    vecLists.push_back(std::move(pMusics));
    vecLists.push_back(std::move(pSounds));
    vecLists.push_back(std::move(pBitmaps));
    vecLists.push_back(std::move(pXplosions));
    vecLists.push_back(std::move(pEnding));
    vecLists.push_back(std::move(pModels));
    return vecLists;
}

void WriteTestDataFile(const std::string& strPath, const TTestLists& vecLists)
{
    std::vector<const TVEChunkList*> vecPtrs;
    for (const auto& pList : vecLists)
        vecPtrs.push_back(pList.get());
    std::string strError;
    if (!TVESerializerWriter::Write(strPath, vecPtrs, &strError))
        throw std::runtime_error(strError);
}

void GarbleItem(TTestLists& vecLists, int32_t nPlaylist, int32_t nItem)
{
    for (const auto& pList : vecLists) {
        if (pList->GetHeader().nId != nPlaylist)
            continue;
        for (int i = 0; i < pList->GetCount(); ++i) {
            TVEChunk* pChunk = pList->GetChunk(i);
            if (pChunk->m_Data.nId != nItem)
                continue;
            static const char GARBLE[] = "garbled ";
            for (int32_t n = 0; n < pChunk->m_Data.nSize; ++n)
                pChunk->m_Data.pData[n] = static_cast<uint8_t>(GARBLE[n % (sizeof GARBLE - 1)]);
            return;
        }
    }
    throw std::runtime_error("no item " + std::to_string(nItem) + " in list " + std::to_string(nPlaylist));
}

std::string MakeTestDataFile(const std::string& strDir)
{
    const std::string strPath = strDir + "/Drelk_II.bin";
    WriteTestDataFile(strPath, MakeTestLists());
    return strPath;
}

namespace {
std::vector<std::string>& TempDirs()
{
    static std::vector<std::string> s_vecDirs;
    return s_vecDirs;
}

void RemoveTempDirs()
{
    for (const std::string& strDir : TempDirs()) {
        std::error_code Error;
        std::filesystem::remove_all(strDir, Error);
    }
}
}  // namespace

std::string MakeTempDir()
{
    char szTemplate[] = "/tmp/drelk2-test-XXXXXX";
    const char* szDir = mkdtemp(szTemplate);
    if (!szDir)
        throw std::runtime_error("cannot make a temporary directory");
    // Gone when the test program ends.
    if (TempDirs().empty())
        std::atexit(RemoveTempDirs);
    TempDirs().push_back(szDir);
    return szDir;
}
