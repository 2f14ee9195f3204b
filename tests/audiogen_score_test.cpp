// The music generator's note lists: what a valid list turns into (notes, drums, tempo map and
// the MIDI file made from it), and how a faulty list is refused with the line of the fault.

#include "MidiWriter.h"
#include "Score.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class ScoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char szDir[] = "/tmp/drelk_score_XXXXXX";
        ASSERT_NE(mkdtemp(szDir), nullptr);
        m_strDir = szDir;
    }
    void TearDown() override { std::filesystem::remove_all(m_strDir); }

    std::string Write(const std::string& strText)
    {
        const std::string strPath = m_strDir + "/piece.txt";
        std::ofstream(strPath) << strText;
        return strPath;
    }

    std::string m_strDir;
};

const char* const VALID = R"(# two bars, played twice
tempo 120
meter 4/4
voice lead ch=1 program=81 vel=100 gate=0.5
voice kick ch=10 note=36 step=16
pattern a 2
  lead:  c4:4 e4 (g4:8)*2 [c4 e4]:4 |
         r:2 c5:4.! d5:8?
  kick:  x...x... X...o... | ................
  tempo: 120:1 | 60:1
end
song a a
)";

TEST_F(ScoreTest, ReadsNotesDrumsAndTempos)
{
    TScore Score;
    std::string strError;
    ASSERT_TRUE(Score.Load(Write(VALID), strError)) << strError;
    ASSERT_EQ(Score.Notes().size(), 2u);

    const std::vector<TNote>& vLead = Score.Notes()[0];
    ASSERT_EQ(vLead.size(), 16u);  // 7 notes and a two-note chord, twice
    EXPECT_EQ(vLead[0].nTick, 0);
    EXPECT_EQ(vLead[0].nPitch, 60);
    EXPECT_EQ(vLead[0].nLength, 240);  // a quarter at gate 0.5
    EXPECT_EQ(vLead[0].nVelocity, 100);
    EXPECT_EQ(vLead[3].nTick, 960 + 240);        // the second repeated eighth
    EXPECT_EQ(vLead[6].nTick, 1920 + 960);         // c5 after the half rest, accented
    EXPECT_EQ(vLead[6].nPitch, 72);
    EXPECT_EQ(vLead[6].nVelocity, 118);
    EXPECT_EQ(vLead[7].nTick, 1920 + 960 + 720);  // d5 after the dotted quarter, soft
    EXPECT_EQ(vLead[7].nVelocity, 60);
    EXPECT_EQ(vLead[8].nTick, 2 * 1920);  // the song's second pattern

    const std::vector<TNote>& vKick = Score.Notes()[1];
    ASSERT_EQ(vKick.size(), 8u);
    EXPECT_EQ(vKick[1].nTick, 4 * 120);
    EXPECT_EQ(vKick[2].nVelocity, 90 + 24);
    EXPECT_EQ(vKick[3].nVelocity, 50);
    EXPECT_EQ(vKick[0].nPitch, 36);

    EXPECT_EQ(Score.LengthTicks(), 4 * 1920);
    EXPECT_DOUBLE_EQ(Score.SecondsAt(1920), 2.0);            // a bar at 120
    EXPECT_DOUBLE_EQ(Score.SecondsAt(Score.LengthTicks()), 12.0);  // 2 + 4, twice
}

// Note-ons and the end of each track read back from the MIDI file, which holds the piece as
// often as asked, then its tail.
TEST_F(ScoreTest, MidiFileHoldsEveryNoteOnceAPass)
{
    TScore Score;
    std::string strError;
    ASSERT_TRUE(Score.Load(Write(VALID), strError)) << strError;
    const std::vector<unsigned char> v = TMidiWriter::Encode(Score, 2);
    ASSERT_GT(v.size(), 14u);
    ASSERT_EQ(std::string(v.begin(), v.begin() + 4), "MThd");
    EXPECT_EQ(v[11], 3);  // conductor and two voices
    size_t nPos = 14, nNoteOns = 0;
    long nLastEnd = 0;
    while (nPos + 8 <= v.size()) {
        ASSERT_EQ(std::string(v.begin() + nPos, v.begin() + nPos + 4), "MTrk");
        const size_t nEnd = nPos + 8 + (size_t(v[nPos + 4]) << 24 | v[nPos + 5] << 16 | v[nPos + 6] << 8 | v[nPos + 7]);
        ASSERT_LE(nEnd, v.size());
        long nTick = 0;
        for (size_t i = nPos + 8; i < nEnd;) {
            long nDelta = 0;
            do
                nDelta = nDelta << 7 | (v[i] & 0x7f);
            while (v[i++] & 0x80);
            nTick += nDelta;
            const unsigned char nStatus = v[i];
            if (nStatus == 0xff) {
                if (v[i + 1] == 0x2f)
                    nLastEnd = nTick;
                i += 3 + v[i + 2];
            } else {
                nNoteOns += (nStatus & 0xf0) == 0x90;
                i += (nStatus & 0xf0) == 0xc0 ? 2 : 3;
            }
        }
        nPos = nEnd;
    }
    EXPECT_EQ(nNoteOns, 2 * (16u + 8u));
    EXPECT_GE(nLastEnd, 2L * Score.LengthTicks());
}

struct TBrokenCase
{
    const char* szPattern;  // the lines after "pattern a 2"
    int nLine;              // where the fault is reported
    const char* szMessage;
};

TEST_F(ScoreTest, RefusesFaultyListsNamingTheLine)
{
    const std::string strHead = "tempo 120\nvoice lead ch=1\nvoice kick ch=10 note=36\npattern a 2\n";
    const TBrokenCase CASES[] = {
        {"  lead: c4:4 e4 | g4:2 g4 c4:1\nend\nsong a\n", 5, "bar line at bar 1 + 2 beats"},
        {"  lead: c4:1 | c4:2\nend\nsong a\n", 5, "ends at bar 2 + 2 beats"},
        {"  lead: c4:1\n        h4:1\nend\nsong a\n", 5, "bad note \"h4\""},
        {"  lead: c4:3 c4:1\nend\nsong a\n", 5, "bad duration"},
        {"  lead: (c4:1 c4:1\nend\nsong a\n", 5, "\"(\" without \")\""},
        {"  kick: x...x..y........ | ................\nend\nsong a\n", 5, "drum steps"},
        {"  lead: c4:1 c4:1\nend\nsong a b\n", 7, "no pattern \"b\""},
        {"  lead: c4:1 c4:1\n", 5, "has no \"end\""},
        {"  c4:1 c4:1\nend\nsong a\n", 5, "expected \"voice: notes\""},
    };
    for (const TBrokenCase& Case : CASES) {
        SCOPED_TRACE(Case.szPattern);
        TScore Score;
        std::string strError;
        const std::string strPath = Write(strHead + Case.szPattern);
        EXPECT_FALSE(Score.Load(strPath, strError));
        EXPECT_NE(strError.find(strPath + ":" + std::to_string(Case.nLine) + ": "), std::string::npos) << strError;
        EXPECT_NE(strError.find(Case.szMessage), std::string::npos) << strError;
    }
}

}  // namespace
