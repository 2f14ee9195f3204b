#include "OggVorbis.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

struct TStdioCloser
{
    void operator()(FILE* p) const { std::fclose(p); }
};

// Every libogg and libvorbis structure of one encode, cleared in reverse order of set-up.
class TEncoder
{
public:
    TEncoder()
    {
        vorbis_info_init(&m_Info);
        vorbis_comment_init(&m_Comment);
    }
    ~TEncoder()
    {
        if (m_bStream)
            ogg_stream_clear(&m_Stream);
        if (m_bBlock)
            vorbis_block_clear(&m_Block);
        if (m_bDsp)
            vorbis_dsp_clear(&m_Dsp);
        vorbis_comment_clear(&m_Comment);
        vorbis_info_clear(&m_Info);
    }
    TEncoder(const TEncoder&) = delete;
    TEncoder& operator=(const TEncoder&) = delete;

    bool Start(const TWave& Wave, double dQuality, uint32_t nSerial)
    {
        if (vorbis_encode_init_vbr(&m_Info, Wave.nChannels, Wave.nRate, static_cast<float>(dQuality)) != 0)
            return false;
        m_bDsp = vorbis_analysis_init(&m_Dsp, &m_Info) == 0;
        m_bBlock = m_bDsp && vorbis_block_init(&m_Dsp, &m_Block) == 0;
        m_bStream = m_bBlock && ogg_stream_init(&m_Stream, static_cast<int>(nSerial)) == 0;
        return m_bStream;
    }

    // The three header packets, each flushed to a page of its own as players expect.
    bool WriteHeaders(FILE* pFile)
    {
        ogg_packet Id, Comment, Code;
        vorbis_analysis_headerout(&m_Dsp, &m_Comment, &Id, &Comment, &Code);
        ogg_stream_packetin(&m_Stream, &Id);
        ogg_stream_packetin(&m_Stream, &Comment);
        ogg_stream_packetin(&m_Stream, &Code);
        ogg_page Page;
        while (ogg_stream_flush(&m_Stream, &Page))
            if (!WritePage(pFile, Page))
                return false;
        return true;
    }

    // nFrames from nFrom; 0 frames marks the end of the stream.
    bool Encode(FILE* pFile, const TWave& Wave, size_t nFrom, size_t nFrames)
    {
        if (nFrames > 0) {
            float** ppBuffer = vorbis_analysis_buffer(&m_Dsp, static_cast<int>(nFrames));
            for (size_t i = 0; i < nFrames; ++i)
                for (int c = 0; c < Wave.nChannels; ++c)
                    ppBuffer[c][i] = Wave.At(nFrom + i, c);
        }
        vorbis_analysis_wrote(&m_Dsp, static_cast<int>(nFrames));
        while (vorbis_analysis_blockout(&m_Dsp, &m_Block) == 1) {
            vorbis_analysis(&m_Block, nullptr);
            vorbis_bitrate_addblock(&m_Block);
            ogg_packet Packet;
            while (vorbis_bitrate_flushpacket(&m_Dsp, &Packet)) {
                ogg_stream_packetin(&m_Stream, &Packet);
                ogg_page Page;
                while (ogg_stream_pageout(&m_Stream, &Page))
                    if (!WritePage(pFile, Page))
                        return false;
            }
        }
        if (nFrames == 0) {
            ogg_page Page;
            while (ogg_stream_flush(&m_Stream, &Page))
                if (!WritePage(pFile, Page))
                    return false;
        }
        return true;
    }

private:
    static bool WritePage(FILE* pFile, const ogg_page& Page)
    {
        return std::fwrite(Page.header, 1, static_cast<size_t>(Page.header_len), pFile) == size_t(Page.header_len) &&
               std::fwrite(Page.body, 1, static_cast<size_t>(Page.body_len), pFile) == size_t(Page.body_len);
    }

    vorbis_info m_Info;
    vorbis_comment m_Comment;
    vorbis_dsp_state m_Dsp;
    vorbis_block m_Block;
    ogg_stream_state m_Stream;
    bool m_bDsp = false, m_bBlock = false, m_bStream = false;
};

}  // namespace

bool TOggVorbis::Write(const std::string& strPath, const TWave& Wave, double dQuality, uint32_t nSerial,
                       std::string& strError)
{
    TEncoder Encoder;
    if (Wave.nChannels < 1 || Wave.Frames() == 0 || !Encoder.Start(Wave, dQuality, nSerial)) {
        strError = strPath + ": the encoder refuses " + std::to_string(Wave.nChannels) + " channels at " +
                   std::to_string(Wave.nRate) + " Hz, quality " + std::to_string(dQuality);
        return false;
    }
    std::unique_ptr<FILE, TStdioCloser> pFile(std::fopen(strPath.c_str(), "wb"));
    bool bOk = pFile && Encoder.WriteHeaders(pFile.get());
    const size_t nBlock = 4096;
    for (size_t nFrom = 0; bOk && nFrom < Wave.Frames(); nFrom += nBlock)
        bOk = Encoder.Encode(pFile.get(), Wave, nFrom, std::min(nBlock, Wave.Frames() - nFrom));
    bOk = bOk && Encoder.Encode(pFile.get(), Wave, 0, 0);
    if (!bOk || std::fclose(pFile.release()) != 0) {
        strError = "cannot write " + strPath;
        return false;
    }
    return true;
}
