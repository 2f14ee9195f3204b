// Where the asset bank meets the sound manager: the data file's sounds made into sources, on the
// real bank over a test data file and the real mixer.
#include "media/SoundLoader.h"

#include "databank/DataBanker.h"
#include "sound/FModSoundManager.h"
#include "tests/support/HungAudioServer.h"
#include "tests/support/TestDataFile.h"

#include <Inventor/SoDB.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace {
// A test data file with one sound damaged, and the bank on it.
std::unique_ptr<TDataBanker> BankWithGarbledSound(int32_t nItem)
{
    SoDB::init();
    TTestLists vecLists = MakeTestLists();
    GarbleItem(vecLists, ID_PLAYLIST_SOUNDS, nItem);
    const std::string strPath = MakeTempDir() + "/Drelk_II.bin";
    WriteTestDataFile(strPath, vecLists);
    return std::make_unique<TDataBanker>(strPath);
}
}  // namespace

TEST(SoundLoaderTest, AnUndecodableSoundIsNamedOnceAndLeftSilent)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::unique_ptr<TDataBanker> pBank = BankWithGarbledSound(ID_SOUND_LASER);
    TFModSoundManager SM;
    struct TCase
    {
        const char* szWhat;
        int32_t nPlaylist;
        int32_t nItem;
        bool bLoop;
        bool bHasSound;
        const char* szSaid;  // on standard error; null for nothing
    };
    const TCase CASES[] = {
        {"a good sound", ID_PLAYLIST_SOUNDS, ID_SOUND_ENGINE, false, true, nullptr},
        {"music, looping", ID_PLAYLIST_MUSICS, ID_MUSIC_GAME, true, true, nullptr},
        {"the damaged sound", ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, false, false,
         "Drelk_II.bin: sound 235 of list 200 does not decode; playing without it\n"},
        {"the damaged sound again: said once", ID_PLAYLIST_SOUNDS, ID_SOUND_LASER, false, false, nullptr},
        {"an item the file does not hold", ID_PLAYLIST_SOUNDS, 999, false, false, nullptr},
        {"a list the file does not hold", 777, ID_SOUND_ENGINE, false, false, nullptr},
    };
    for (const TCase& Case : CASES) {
        SCOPED_TRACE(Case.szWhat);
        testing::internal::CaptureStderr();
        std::unique_ptr<TFModSoundSource> pSource(
            TSoundLoader::CreateSource(&SM, pBank.get(), Case.nPlaylist, Case.nItem, Case.bLoop));
        const std::string strSaid = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(pSource);
        EXPECT_EQ(pSource->HasSound(), Case.bHasSound);
        if (Case.szSaid) {
            EXPECT_NE(strSaid.find(Case.szSaid), std::string::npos) << strSaid;
            EXPECT_EQ(std::count(strSaid.begin(), strSaid.end(), '\n'), 1) << strSaid;
        } else {
            EXPECT_EQ(strSaid, "");
        }
        // The music list's pieces are turned up and down with the music, the rest with the effects.
        EXPECT_EQ(pSource->GetGroup(), Case.nPlaylist == ID_PLAYLIST_MUSICS ? SOUND_MUSIC : SOUND_EFFECTS);
        // What the game does with a source, with or without a sound.
        pSource->Play();
        pSource->SetPlaying(true);
        pSource->SetVolume(0.2f);
    }
}

// Without a device no sound decodes, and that is no fault of the file.
TEST(SoundLoaderTest, WithoutADeviceNothingIsBlamedOnTheFile)
{
    std::unique_ptr<TDataBanker> pBank = BankWithGarbledSound(ID_SOUND_ROCK_EXPLOSION_0);
    THungAudioServer Server;
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    setenv("PULSE_SERVER", Server.Address().c_str(), 1);
    TFModSoundManager SM;
    ASSERT_FALSE(SM.HasDevice());
    testing::internal::CaptureStderr();
    for (int32_t nItem : {ID_SOUND_ENGINE, ID_SOUND_ROCK_EXPLOSION_0}) {
        std::unique_ptr<TFModSoundSource> pSource(
            TSoundLoader::CreateSource(&SM, pBank.get(), ID_PLAYLIST_SOUNDS, nItem, false));
        EXPECT_FALSE(pSource->HasSound());
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
