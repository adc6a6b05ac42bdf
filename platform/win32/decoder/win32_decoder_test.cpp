// Tests of the decoder process: pictures that come back, and decoders that crash, hang or grow past
// their limit, each costing one picture; the decoder restarted, and ended with its owner.
//
// The decoder here is this test program itself, run with DecoderChild.DISABLED_Serve, which knows the
// test files of win32_decoder_test_triggers.h.
#include "imaging/picture_budget.h"
#include "platform/errors.h"
#include "platform/win32/app/win32_app.h"
#include "platform/win32/common/win32_text.h"
#include "platform/win32/decoder/win32_decoder_main.h"
#include "platform/win32/decoder/win32_decoder_process.h"
#include "platform/win32/decoder/win32_decoder_test_triggers.h"
#include "platform/win32/loader/win32_pictures.h"
#include "platform/win32/testing/win32_test_files.h"
#include "platform/win32/testing/win32_test_jpeg.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <wincodec.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace platform::win32 {
namespace {

// Short, so that the tests of a hanging decoder take little time; long enough for a start under Wine.
constexpr DWORD kTestWatchdogMs = 2500;
constexpr platform::SizeF kScreen{640, 480};
constexpr wchar_t kPidFileVariable[] = L"KWOBL_DECODER_TEST_PID_FILE";

DecoderCommand test_decoder()
{
    return {module_path(), L"--gtest_also_run_disabled_tests --gtest_filter=DecoderChild.DISABLED_Serve"};
}

void write_text(const std::wstring& path, const std::string& text)
{
    const UniqueHfile out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ::WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Whether the process `id` has ended (or never was), waiting up to `ms` for it.
bool process_ended(DWORD id, DWORD ms)
{
    const UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    return !process || ::WaitForSingleObject(process.get(), ms) == WAIT_OBJECT_0;
}

class DecoderProcessTest : public ::testing::Test {
protected:
    TempFolder m_folder{L"decoder"};
    DecoderProcess m_decoder{test_decoder(), DecoderSettings{}, kTestWatchdogMs};

    // A small picture that every decoder reads.
    std::wstring good_picture()
    {
        const std::wstring good = m_folder.file(L"good.bmp");
        write_bmp(good, 20, 10, 7);
        return good;
    }

    // The confinement steps this system takes, read from a decoder that has decoded a picture.
    unsigned steps_taken(const std::wstring& good)
    {
        EXPECT_TRUE(m_decoder.decode(good, kScreen));
        return m_decoder.steps();
    }
};

TEST_F(DecoderProcessTest, APictureComesBackAtTheSizeItIsKeptAt)
{
    const std::wstring small = m_folder.file(L"small.bmp");
    const std::wstring large = m_folder.file(L"large.bmp");
    write_bmp(small, 40, 30, 200);
    write_bmp(large, 1280, 720, 90);

    const std::shared_ptr<const Win32Picture> picture = m_decoder.decode(small, kScreen);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->natural_width(), 40);
    EXPECT_EQ(picture->natural_height(), 30);
    ASSERT_TRUE(picture->pixels());
    EXPECT_EQ(picture->pixels()->width(), 40);
    EXPECT_EQ(picture->pixels()->height(), 30);
    // Premultiplied BGRA: the blue of the file, opaque.
    EXPECT_EQ(picture->pixels()->bits()[0], 200);
    EXPECT_EQ(picture->pixels()->bits()[3], 255);
    EXPECT_NE(m_decoder.process_id(), ::GetCurrentProcessId());
    std::printf("decoder process %lu, low integrity: %s\n", m_decoder.process_id(),
                m_decoder.low_integrity() ? "yes" : "no (the system runs it at the normal level)");

    const std::shared_ptr<const Win32Picture> fitted = m_decoder.decode(large, kScreen);
    ASSERT_TRUE(fitted && fitted->pixels());
    EXPECT_EQ(fitted->natural_width(), 1280);
    EXPECT_EQ(fitted->pixels()->width(), 640);
    EXPECT_EQ(fitted->pixels()->height(), 360);
    EXPECT_EQ(fitted->pixels()->bits()[4 * (360 * 640 - 1)], 90) << "the last pixel came back too";
    EXPECT_EQ(m_decoder.starts(), 1) << "one decoder served both";
}

// No screen size is fixed when the decoder starts: each request brings its box, and the job's memory
// limit grows with the largest box asked for (never shrinks: the decoder's heap keeps what it took).
TEST_F(DecoderProcessTest, EachRequestBringsItsBoxAndTheMemoryLimitFollowsTheLargest)
{
    const std::wstring large = m_folder.file(L"large.bmp");
    write_bmp(large, 1280, 720, 90);
    const struct {
        platform::SizeF box;
        SIZE kept;
        SIZE limit;
    } cases[] = {
        {{640, 480}, {640, 360}, {640, 480}},
        {{1024, 768}, {1024, 576}, {1024, 768}}, // the display grew
        {{320, 240}, {320, 180}, {1024, 768}},   // and shrank again
        {{800, 1280}, {800, 450}, {1024, 1280}}, // turned to portrait: the larger of each side
    };
    for (const auto& c : cases) {
        const std::shared_ptr<const Win32Picture> picture = m_decoder.decode(large, c.box);
        ASSERT_TRUE(picture && picture->pixels());
        EXPECT_EQ(picture->pixels()->width(), c.kept.cx) << c.box.width;
        EXPECT_EQ(picture->pixels()->height(), c.kept.cy) << c.box.width;
        EXPECT_EQ(m_decoder.memory_limit(), decoder_memory_limit(c.limit)) << c.box.width;
    }
    EXPECT_EQ(m_decoder.starts(), 1) << "one decoder for every box";
    EXPECT_THROW((void)m_decoder.decode(large, platform::SizeF{}), RuntimeError) << "no box, no picture";
    EXPECT_EQ(m_decoder.starts(), 1);
}

TEST_F(DecoderProcessTest, ARefusedFileFailsAndTheDecoderGoesOn)
{
    const std::wstring noise = m_folder.file(L"noise.DAT");
    const std::wstring good = m_folder.file(L"good.bmp");
    write_text(noise, std::string(300, '\x5a'));
    write_bmp(good, 20, 10, 7);
    EXPECT_THROW((void)m_decoder.decode(noise, kScreen), RuntimeError);
    EXPECT_THROW((void)m_decoder.decode(m_folder.file(L"missing.DAT"), kScreen), RuntimeError);
    const DWORD decoder = m_decoder.process_id();
    EXPECT_NE(decoder, 0u);
    EXPECT_EQ(m_decoder.decode(good, kScreen)->natural_width(), 20);
    EXPECT_EQ(m_decoder.process_id(), decoder);
    EXPECT_EQ(m_decoder.starts(), 1);
}

// Writes a 48 x 36 picture of one opaque BGRA colour to `path` with the imaging component's encoder
// for `container`.
void write_with_imaging(const std::wstring& path, const GUID& container, std::uint32_t bgra)
{
    const CoInit com;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    std::vector<std::uint32_t> pixels(48 * 36, bgra);
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                             __uuidof(IWICImagingFactory), factory.put_void())) &&
                SUCCEEDED(factory->CreateStream(stream.put())) &&
                SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
                SUCCEEDED(factory->CreateEncoder(container, nullptr, encoder.put())) &&
                SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
                SUCCEEDED(encoder->CreateNewFrame(frame.put(), options.put())) &&
                SUCCEEDED(frame->Initialize(options.get())) && SUCCEEDED(frame->SetSize(48, 36)) &&
                SUCCEEDED(frame->SetPixelFormat(&format)) && // or 32bppBGR, the same bytes
                (IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) || IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)) &&
                SUCCEEDED(frame->WritePixels(36, 48 * 4, 48 * 36 * 4, reinterpret_cast<BYTE*>(pixels.data()))) &&
                SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit()));
}

TEST_F(DecoderProcessTest, GivenOnlyTheOpenFileTheDecoderDecodesEveryFormat)
{
    // The imaging component's formats (BMP files in the tests above), and a JPEG file for libjpeg-turbo.
    const std::pair<const wchar_t*, const GUID*> cases[] = {
        {L"a.png", &GUID_ContainerFormatPng}, {L"a.tif", &GUID_ContainerFormatTiff}, {L"a.jpg", nullptr}};
    for (const auto& [name, container] : cases) {
        SCOPED_TRACE(narrow(name));
        const std::wstring file = m_folder.file(name);
        if (container) {
            write_with_imaging(file, *container, 0xFF2040C0);
        } else {
            const TestBytes photo = encode_jpeg(photograph(48, 36), JpegKind::Baseline);
            write_text(file, std::string(photo.begin(), photo.end()));
        }
        const std::shared_ptr<const Win32Picture> picture = m_decoder.decode(file, kScreen);
        ASSERT_TRUE(picture && picture->pixels());
        EXPECT_EQ(picture->natural_width(), 48);
        EXPECT_EQ(picture->pixels()->height(), 36);
        if (container) { // blue and red, as in the file
            EXPECT_EQ(picture->pixels()->bits()[0] * 256 + picture->pixels()->bits()[2], 0xC020);
        }
    }
    EXPECT_EQ(m_decoder.starts(), 1);
}

class LostDecoderTest : public DecoderProcessTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LostDecoderTest, CostsOnePictureAndTheNextOneShows)
{
    const std::wstring good = m_folder.file(L"good.bmp");
    const std::wstring bad = m_folder.file(L"bad.DAT");
    write_bmp(good, 20, 10, 7);
    write_text(bad, GetParam());
    ASSERT_TRUE(m_decoder.decode(good, kScreen));
    const DWORD first = m_decoder.process_id();

    const ULONGLONG before = ::GetTickCount64();
    EXPECT_THROW((void)m_decoder.decode(bad, kScreen), RuntimeError);
    // Given up on by the watchdog at the latest (with room for a slow machine), never waited for longer.
    EXPECT_LT(::GetTickCount64() - before, ULONGLONG{kTestWatchdogMs} * 2);
    EXPECT_EQ(m_decoder.process_id(), 0u) << "the decoder was ended";
    EXPECT_TRUE(process_ended(first, 5000));

    // Asked again while unchanged, the file is refused without a decoder being spent on it.
    EXPECT_THROW((void)m_decoder.decode(bad, kScreen), RuntimeError);
    EXPECT_EQ(m_decoder.starts(), 1);

    const std::shared_ptr<const Win32Picture> next = m_decoder.decode(good, kScreen);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->natural_width(), 20);
    EXPECT_EQ(m_decoder.starts(), 2) << "a new decoder";
    EXPECT_NE(m_decoder.process_id(), first);
}

INSTANTIATE_TEST_SUITE_P(EveryWayToLoseIt, LostDecoderTest,
                         ::testing::Values("KWOBL-TEST-CRASH", "KWOBL-TEST-HANG", "KWOBL-TEST-GROW"));

// Ends the process `id` from outside, as the task manager or the system under memory pressure does.
void end_from_outside(DWORD id)
{
    const UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    ASSERT_TRUE(process);
    ASSERT_TRUE(::TerminateProcess(process.get(), 1));
    ::WaitForSingleObject(process.get(), 5000);
}

TEST_F(DecoderProcessTest, ADecoderEndedFromOutsideIsReplacedAtTheNextPicture)
{
    const std::wstring good = m_folder.file(L"good.bmp");
    const std::wstring hang = m_folder.file(L"hang.DAT");
    write_bmp(good, 20, 10, 7);
    write_text(hang, "KWOBL-TEST-HANG");
    struct Case {
        const char* when;
        bool decoding; // ended while it decodes `hang`, rather than while idle
    };
    for (const Case& c : {Case{"idle", false}, Case{"decoding", true}, Case{"idle again", false}}) {
        SCOPED_TRACE(c.when);
        ASSERT_TRUE(m_decoder.decode(good, kScreen));
        const DWORD ended = m_decoder.process_id();
        const int starts = m_decoder.starts();
        const unsigned steps = m_decoder.steps();
        if (c.decoding) {
            std::thread killer([&] {
                ::Sleep(300);
                end_from_outside(ended);
            });
            EXPECT_THROW((void)m_decoder.decode(hang, kScreen), RuntimeError) << "the picture it was asked for is lost";
            killer.join();
        } else {
            end_from_outside(ended);
        }
        // A picture it never saw is not lost: a new decoder takes it, and the ones after it.
        for (int i = 0; i < 3; ++i) {
            const std::shared_ptr<const Win32Picture> next = m_decoder.decode(good, kScreen);
            ASSERT_TRUE(next);
            EXPECT_EQ(next->natural_width(), 20);
        }
        EXPECT_EQ(m_decoder.starts(), starts + 1) << "one new decoder";
        EXPECT_NE(m_decoder.process_id(), ended);
        EXPECT_EQ(m_decoder.steps(), steps) << "confined as before";
    }
}

TEST_F(DecoderProcessTest, EachStepTheSystemRefusesIsLeftOutAloneForTheRestOfTheRun)
{
    const std::wstring good = good_picture();
    // What this system takes of them (Wine has no policy against child processes, say).
    const unsigned taken = steps_taken(good);
    std::printf("confinement steps this system takes: %#x of %#x\n", taken, kEveryDecoderStep);
    EXPECT_TRUE(taken & kLowToken);
    for (const unsigned refused : {unsigned{kLowToken}, unsigned{kMitigations}, unsigned{kNoChildProcesses},
                                   unsigned{kNoUserFiles}, unsigned{kAppContainer},
                                   unsigned{kLowToken | kMitigations}}) {
        SCOPED_TRACE(refused);
        std::vector<unsigned> asked;
        DecoderProcess decoder(test_decoder(), DecoderSettings{}, kTestWatchdogMs,
                               [&](const DecoderCommand& command, unsigned steps, HANDLE client,
                                   PROCESS_INFORMATION& info) {
                                   asked.push_back(steps);
                                   return !(steps & refused) && spawn_decoder_process(command, steps, client, info);
                               });
        ASSERT_TRUE(decoder.decode(good, kScreen));
        EXPECT_EQ(decoder.steps(), taken & ~refused) << "the others stay";
        // Replaced, the decoder is not asked for the refused steps again.
        end_from_outside(decoder.process_id());
        asked.clear();
        ASSERT_TRUE(decoder.decode(good, kScreen));
        EXPECT_EQ(decoder.steps(), taken & ~refused);
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.front(), taken & ~refused) << "asked first for what it was made with before";
    }
}

// A system may take the container or the restricting token and then keep the decoder from working
// under it: the imaging component will not start (a registry key its codecs need grants no more), or
// the decoder dies before it is ready (a DLL it may not read). That step alone is left out. A decoder
// that cannot start the component however it is confined loses the picture, and no more.
TEST_F(DecoderProcessTest, AConfinementUnderWhichTheDecoderCannotWorkIsLeftOutAlone)
{
    const std::wstring good = good_picture();
    const unsigned taken = steps_taken(good);
    // The most confining of them that this system takes: the container, or the restricting token.
    const unsigned step = std::bit_floor(taken & kReadingSteps);
    if (step == 0)
        GTEST_SKIP() << "this system refuses them outright";
    const auto child = [](const wchar_t* name) {
        return DecoderCommand{module_path(),
                              std::wstring(L"--gtest_also_run_disabled_tests --gtest_filter=DecoderChild.") + name};
    };
    const struct {
        const char* what;
        DecoderCommand broken;
        bool only_under_it;
    } cases[] = {
        {"no imaging component under it", child(L"DISABLED_ServeWithoutComponent"), true},
        {"dies at its start under it", child(L"DISABLED_EndAtOnce"), true},
        {"no imaging component at all", child(L"DISABLED_ServeWithoutComponent"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DecoderProcess decoder(test_decoder(), DecoderSettings{}, kTestWatchdogMs,
                               [&](const DecoderCommand& command, unsigned steps, HANDLE client,
                                   PROCESS_INFORMATION& info) {
                                   const bool broken = !c.only_under_it || (steps & step);
                                   return spawn_decoder_process(broken ? c.broken : command, steps, client, info);
                               });
        if (c.only_under_it) {
            const std::shared_ptr<const Win32Picture> picture = decoder.decode(good, kScreen);
            ASSERT_TRUE(picture) << "decoded by a decoder made without it";
            EXPECT_EQ(picture->natural_width(), 20);
        } else {
            EXPECT_THROW((void)decoder.decode(good, kScreen), RuntimeError) << "one picture lost, not a loop";
        }
        EXPECT_EQ(decoder.steps(), taken & ~step) << "the others stay";
    }
}

TEST_F(DecoderProcessTest, ASystemThatRefusesEveryDecoderHasOnePictureDecodedHereAndIsAskedAgain)
{
    const std::wstring good = good_picture();
    const unsigned taken = steps_taken(good);
    bool refusing = true;
    DecoderProcess decoder(test_decoder(), DecoderSettings{}, kTestWatchdogMs,
                           [&](const DecoderCommand& command, unsigned steps, HANDLE client, PROCESS_INFORMATION& info) {
                               return !refusing && spawn_decoder_process(command, steps, client, info);
                           });
    EXPECT_EQ(decoder.decode(good, kScreen), nullptr) << "decoded by the caller";
    EXPECT_EQ(decoder.starts(), 0);
    refusing = false;
    ASSERT_TRUE(decoder.decode(good, kScreen)) << "the next picture asks again";
    EXPECT_EQ(decoder.steps(), taken) << "confined no less for it";

    // A decoder that is made but dies before it answers is no refusal: nothing is decoded here.
    DecoderProcess dying(DecoderCommand{module_path(), L"--gtest_also_run_disabled_tests --gtest_filter=DecoderChild.DISABLED_EndAtOnce"},
                         DecoderSettings{}, kTestWatchdogMs);
    EXPECT_THROW((void)dying.decode(good, kScreen), RuntimeError);
}

TEST_F(DecoderProcessTest, TheDecoderEndsWithItsOwner)
{
    const std::wstring good = good_picture();
    DWORD id = 0;
    {
        DecoderProcess decoder(test_decoder(), DecoderSettings{}, kTestWatchdogMs);
        ASSERT_TRUE(decoder.decode(good, kScreen));
        id = decoder.process_id();
    }
    EXPECT_TRUE(process_ended(id, 0));
}

TEST_F(DecoderProcessTest, ADecoderStartedAheadServesTheFirstPicture)
{
    const std::wstring good = good_picture();
    m_decoder.start_ahead();
    m_decoder.start_ahead(); // once is enough
    // Ready without being asked for anything (a condition; the limit only keeps a broken build from hanging).
    for (int i = 0; i < 1000 && m_decoder.starts() == 0; ++i)
        ::Sleep(10);
    EXPECT_EQ(m_decoder.starts(), 1);
    const DWORD ahead = m_decoder.process_id();
    EXPECT_NE(ahead, 0u);
    EXPECT_EQ(m_decoder.decode(good, kScreen)->natural_width(), 20);
    EXPECT_EQ(m_decoder.process_id(), ahead);

    // Asked for a picture while it is still being started, the decoder waits for it: one start.
    DecoderProcess decoder(test_decoder(), DecoderSettings{}, kTestWatchdogMs);
    decoder.start_ahead();
    EXPECT_EQ(decoder.decode(good, kScreen)->natural_width(), 20);
    EXPECT_EQ(decoder.starts(), 1);
}

// The processes that this one started and that run now.
std::vector<DWORD> running_children()
{
    std::vector<DWORD> ids;
    const UniqueHfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry))
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() && !process_ended(entry.th32ProcessID, 0))
            ids.push_back(entry.th32ProcessID);
    return ids;
}

TEST(DecoderStartAheadTest, AnOwnerThatGoesWhileItsDecoderStartsLeavesNothingBehind)
{
    const std::vector<DWORD> before = running_children();
    std::vector<DWORD> started;
    {
        // A decoder that never answers: its owner waits out the watchdog, then ends it.
        DecoderProcess decoder(
            DecoderCommand{module_path(), L"--gtest_also_run_disabled_tests --gtest_filter=DecoderChild.DISABLED_NeverReady"},
            DecoderSettings{}, 1000);
        decoder.start_ahead();
        for (int i = 0; i < 500 && started.empty(); ++i) {
            ::Sleep(10);
            for (DWORD id : running_children())
                if (std::find(before.begin(), before.end(), id) == before.end())
                    started.push_back(id);
        }
        EXPECT_EQ(decoder.starts(), 0);
    }
    ASSERT_EQ(started.size(), 1u) << "the decoder was being started when its owner went";
    EXPECT_TRUE(process_ended(started.front(), 0));
}

TEST_F(DecoderProcessTest, ADecoderLaunchedBeforeItsSettingsAreKnownServesOnceGivenThem)
{
    const std::wstring good = m_folder.file(L"good.bmp");
    write_bmp(good, 1280, 720, 90);
    const std::vector<DWORD> before = running_children();
    std::shared_ptr<DecoderProcess::Running> launched = DecoderProcess::launch(test_decoder());
    ASSERT_TRUE(launched);
    std::vector<DWORD> made;
    for (DWORD id : running_children())
        if (std::find(before.begin(), before.end(), id) == before.end())
            made.push_back(id);
    ASSERT_EQ(made.size(), 1u);

    m_decoder.start_ahead(std::move(launched));
    const std::shared_ptr<const Win32Picture> picture = m_decoder.decode(good, kScreen);
    ASSERT_TRUE(picture && picture->pixels());
    EXPECT_EQ(picture->pixels()->width(), 640) << "kept for the screen of its settings";
    EXPECT_EQ(m_decoder.process_id(), made.front()) << "the launched decoder, no other";
    EXPECT_EQ(m_decoder.starts(), 1);
}

TEST_F(DecoderProcessTest, OnceClosedNoDecoderIsStarted)
{
    const std::wstring good = good_picture();
    m_decoder.close();
    EXPECT_THROW((void)m_decoder.decode(good, kScreen), RuntimeError) << "nor is the picture decoded here";
    EXPECT_EQ(m_decoder.starts(), 0);
}

TEST(DecoderChildTest, TheDecoderEndsWhenItsOwnerIsKilled)
{
    TempFolder folder(L"decoder-owner");
    const std::wstring pid_file = folder.file(L"pid.txt");
    ::SetEnvironmentVariableW(kPidFileVariable, pid_file.c_str());
    std::wstring command = L"\"" + module_path() +
                           L"\" --gtest_also_run_disabled_tests --gtest_filter=DecoderChild.DISABLED_OwnAHangingDecoder";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION owner{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &owner));
    ::SetEnvironmentVariableW(kPidFileVariable, nullptr);
    const UniqueHandle owner_process(owner.hProcess);
    const UniqueHandle owner_thread(owner.hThread);
    // The owner writes its decoder's id once the decoder is stuck in a file (a condition; the limit only
    // keeps a broken build from hanging).
    DWORD decoder = 0;
    for (int i = 0; i < 3000 && decoder == 0; ++i) {
        ::Sleep(10);
        const UniqueHfile in(::CreateFileW(pid_file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
        char text[32] = {};
        DWORD read = 0;
        if (in && ::ReadFile(in.get(), text, sizeof text - 1, &read, nullptr) && read > 0 && text[read - 1] == '\n')
            decoder = std::strtoul(text, nullptr, 10);
    }
    ASSERT_NE(decoder, 0u);
    const UniqueHandle decoder_process(::OpenProcess(SYNCHRONIZE, FALSE, decoder));
    ASSERT_TRUE(decoder_process);
    EXPECT_EQ(::WaitForSingleObject(decoder_process.get(), 0), WAIT_TIMEOUT) << "stuck in the file";
    ::TerminateProcess(owner_process.get(), 9);
    EXPECT_EQ(::WaitForSingleObject(decoder_process.get(), 10000), WAIT_OBJECT_0) << "ended with its owner";
}

TEST(Win32PicturesDecoderTest, AFileThatCrashesTheDecoderIsOneFailedPicture)
{
    TempFolder folder(L"decoder-loader");
    const std::wstring first = folder.file(L"KWOBL001.DAT");
    const std::wstring crash = folder.file(L"KWOBL002.DAT");
    const std::wstring third = folder.file(L"KWOBL003.DAT");
    write_bmp(first, 40, 30, 200);
    write_text(crash, "KWOBL-TEST-CRASH");
    write_bmp(third, 60, 30, 100);
    Win32Pictures pictures(test_decoder());
    ASSERT_NE(pictures.decoder_process(), nullptr);
    pictures.prefetch(narrow(first), kScreen);
    EXPECT_EQ(pictures.load(narrow(first), kScreen)->natural_width(), 40);
    pictures.prefetch(narrow(crash), kScreen);
    EXPECT_THROW((void)pictures.load(narrow(crash), kScreen), RuntimeError);
    pictures.prefetch(narrow(third), kScreen);
    EXPECT_EQ(pictures.load(narrow(third), kScreen)->natural_width(), 60);
    EXPECT_EQ(pictures.decoder_process()->starts(), 2);
}

TEST(Win32PicturesDecoderTest, AKeyOrAClickEndsTheWaitForAPictureAndIsLeftForTheWindow)
{
    TempFolder folder(L"decoder-wait");
    const std::wstring hang = folder.file(L"KWOBL001.DAT");
    write_text(hang, "KWOBL-TEST-HANG");
    struct Case {
        const char* input;
        UINT message;
        WPARAM detail;
        bool ends; // the wait, before the watchdog gives the picture up
    };
    const Case cases[] = {{"a key", WM_KEYDOWN, 'A', true},          {"Alt", WM_SYSKEYDOWN, VK_MENU, true},
                          {"a click", WM_LBUTTONDOWN, MK_LBUTTON, true}, {"a double click", WM_MBUTTONDBLCLK, 0, true},
                          {"a movement", WM_MOUSEMOVE, 0, false},        {"a key let go", WM_KEYUP, 'A', false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        auto decoder = std::make_shared<DecoderProcess>(test_decoder(), DecoderSettings{}, kTestWatchdogMs);
        Win32Pictures pictures(decoder);
        // The decoder is made first, so that the wait is for the picture alone.
        decoder->start_ahead();
        for (int i = 0; i < 1000 && decoder->starts() == 0; ++i)
            ::Sleep(10);
        const HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        ULONGLONG posted = 0;
        std::thread input([&] {
            ::Sleep(300);
            posted = ::GetTickCount64();
            ::PostMessageW(window, c.message, c.detail, 0);
        });
        const ULONGLONG before = ::GetTickCount64();
        EXPECT_THROW((void)pictures.load(narrow(hang), kScreen), RuntimeError);
        const ULONGLONG after = ::GetTickCount64();
        input.join();
        if (c.ends) {
            EXPECT_LT(after - posted, ULONGLONG{kTestWatchdogMs} / 2) << "ended by the input, not the watchdog";
            std::printf("%s ended the wait %llu ms after it was posted\n", c.input, after - posted);
        } else {
            EXPECT_GE(after - before, ULONGLONG{kTestWatchdogMs} - 100) << "waited for the watchdog";
        }
        MSG message{};
        EXPECT_TRUE(::PeekMessageW(&message, window, c.message, c.message, PM_REMOVE)) << "left for the window";
        ::DestroyWindow(window);
    }
}

TEST(Win32PicturesDecoderTest, ADecoderThatIsMadeButNeverAnswersIsTriedAgainNotGivenUp)
{
    // A decoder that starts too slowly (a busy machine) costs the picture; it does not send every later
    // picture into this process.
    TempFolder folder(L"decoder-slow");
    const std::wstring file = folder.file(L"KWOBL001.DAT");
    write_bmp(file, 40, 30, 200);
    DecoderProcess decoder(
        DecoderCommand{module_path(), L"--gtest_also_run_disabled_tests --gtest_filter=DecoderChild.DISABLED_NeverReady"},
        DecoderSettings{}, 500);
    EXPECT_THROW((void)decoder.decode(file, kScreen), RuntimeError);
    EXPECT_THROW((void)decoder.decode(file, kScreen), RuntimeError);
    EXPECT_EQ(decoder.starts(), 0);
}

TEST(Win32PicturesDecoderTest, WithoutADecoderProcessPicturesAreDecodedHere)
{
    TempFolder folder(L"decoder-none");
    const std::wstring file = folder.file(L"KWOBL001.DAT");
    write_bmp(file, 40, 30, 200);
    Win32Pictures pictures(DecoderCommand{folder.file(L"no-such-program.exe"), L""});
    EXPECT_EQ(pictures.load(narrow(file), kScreen)->natural_width(), 40);
    EXPECT_EQ(pictures.decoder_process()->starts(), 0);
}

// The names of the modules that the process `id` has loaded, in lower case.
std::vector<std::wstring> loaded_modules(DWORD id)
{
    std::vector<std::wstring> names;
    const UniqueHfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
    if (!snapshot)
        return names;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Module32FirstW(snapshot.get(), &entry); more; more = ::Module32NextW(snapshot.get(), &entry)) {
        std::wstring name = entry.szModule;
        std::transform(name.begin(), name.end(), name.begin(), ::towlower);
        names.push_back(name);
    }
    return names;
}

bool has_module(const std::vector<std::wstring>& modules, const wchar_t* name)
{
    return std::find(modules.begin(), modules.end(), name) != modules.end();
}

TEST(DecoderStartTest, TheProgramsDecoderDecodesAJpegWithoutTheLibrariesOfTheUserInterface)
{
    // Loading them would cost a decoder more than the rest of its start together.
    std::wstring program = module_path();
    program.erase(program.find_last_of(L'\\') + 1);
    program += L"kwobl.scr";
    ASSERT_NE(::GetFileAttributesW(program.c_str()), INVALID_FILE_ATTRIBUTES) << "built next to the tests";
    TempFolder folder(L"decoder-modules");
    const std::wstring jpeg = folder.file(L"photo.jpg");
    const std::wstring bmp = folder.file(L"picture.bmp");
    const TestBytes photo = encode_jpeg(photograph(320, 200), JpegKind::Baseline);
    ASSERT_FALSE(photo.empty());
    {
        const UniqueHfile out(::CreateFileW(jpeg.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(out.get(), photo.data(), DWORD(photo.size()), &written, nullptr));
    }
    write_bmp(bmp, 40, 30, 200);
    DecoderProcess decoder(DecoderCommand{program, L""}, DecoderSettings{});

    const std::shared_ptr<const Win32Picture> photograph = decoder.decode(jpeg, kScreen);
    ASSERT_TRUE(photograph && photograph->pixels());
    EXPECT_EQ(photograph->pixels()->width(), 320);
    const std::vector<std::wstring> modules = loaded_modules(decoder.process_id());
    ASSERT_TRUE(has_module(modules, L"kernel32.dll")) << "the decoder's modules can be listed";
    for (const wchar_t* name : {L"user32.dll", L"gdi32.dll", L"comctl32.dll", L"imm32.dll", L"ole32.dll"})
        EXPECT_FALSE(has_module(modules, name)) << "loaded " << narrow(name);

    // A picture for the imaging component starts COM in the decoder then.
    const std::shared_ptr<const Win32Picture> picture = decoder.decode(bmp, kScreen);
    ASSERT_TRUE(picture && picture->pixels());
    EXPECT_EQ(picture->pixels()->bits()[0], 200);
    EXPECT_TRUE(has_module(loaded_modules(decoder.process_id()), L"ole32.dll"));
    EXPECT_EQ(decoder.starts(), 1);
}

TEST(DibTest, PixelsWithoutABitmapLiveInMemoryOfTheirOwnOrInAMapping)
{
    const std::shared_ptr<Dib> own = Dib::without_bitmap(3, 2);
    EXPECT_EQ(own->bitmap(), nullptr);
    own->bits()[0] = 1;
    own->bits()[3 * 2 * 4 - 1] = 2; // to the last byte

    const UniqueHandle mapping(
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 3 * 2 * 4, nullptr));
    ASSERT_TRUE(mapping);
    {
        const std::shared_ptr<Dib> shared = Dib::without_bitmap(3, 2, mapping.get());
        EXPECT_EQ(shared->bitmap(), nullptr);
        shared->bits()[0] = 42;
        shared->bits()[3 * 2 * 4 - 1] = 43;
    }
    // Still in the mapping once they are gone, where a DIB section made on it finds them.
    const Dib seen(3, 2, mapping.get());
    EXPECT_EQ(seen.bits()[0], 42);
    EXPECT_EQ(seen.bits()[3 * 2 * 4 - 1], 43);

    // (A mapping's memory is whole pages.)
    EXPECT_THROW((void)Dib::without_bitmap(64, 64, mapping.get()), RuntimeError) << "larger than the mapping";
    EXPECT_THROW((void)Dib::without_bitmap(0, 2), RuntimeError);
    EXPECT_THROW((void)Dib::without_bitmap(70000, 70000), RuntimeError);
}

TEST(DecoderProtocolTest, TheDecoderIsRecognisedByItsArgumentAlone)
{
    const std::wstring argument = kDecoderArgument;
    EXPECT_EQ(decoder_pipe_from(L"\"C:\\x\\kwobl.scr\" " + argument + L" 1234"), reinterpret_cast<HANDLE>(1234));
    EXPECT_EQ(decoder_pipe_from(L"kwobl.scr --gtest_filter=X " + argument + L" 88"), reinterpret_cast<HANDLE>(88));
    EXPECT_FALSE(decoder_pipe_from(L"kwobl.scr /s"));
    EXPECT_FALSE(decoder_pipe_from(L"kwobl.scr " + argument));
    EXPECT_FALSE(decoder_pipe_from(L"kwobl.scr " + argument + L" x"));
    EXPECT_FALSE(decoder_pipe_from(L"kwobl.scr " + argument + L" 0"));
    EXPECT_FALSE(decoder_pipe_from(L"kwobl.scr " + argument + L"x 12"));
    EXPECT_FALSE(decoder_pipe_from(L"kwobl.scr /s" + argument + L" 12"));
    EXPECT_FALSE(run_decoder_if_asked(L"kwobl.scr /s").has_value()) << "and an ordinary start is left alone";
}

TEST(DecoderProtocolTest, OnlyRepliesWhosePixelsFitAreBelieved)
{
    ReplyHeader reply;
    reply.status = ReplyStatus::Decoded;
    reply.natural_width = 4000;
    reply.natural_height = 3000;
    reply.pixels_width = 640;
    reply.pixels_height = 480;
    EXPECT_TRUE(reply_fits(reply, 640 * 480 * 4));
    EXPECT_FALSE(reply_fits(reply, 640 * 480 * 4 - 1));
    reply.pixels_width = reply.pixels_height = 0;
    EXPECT_TRUE(reply_fits(reply, 0)) << "a picture without pixels";
    reply.pixels_width = 10;
    EXPECT_FALSE(reply_fits(reply, 1 << 20)) << "pixels one way only";
    reply.pixels_height = -10;
    EXPECT_FALSE(reply_fits(reply, 1 << 20));
    reply.pixels_width = reply.pixels_height = 0;
    reply.natural_width = 70000;
    EXPECT_FALSE(reply_fits(reply, 1 << 20));
    reply.natural_width = 10;
    reply.message_bytes = kMaxMessageBytes + 1;
    EXPECT_FALSE(reply_fits(reply, 1 << 20));
    reply.message_bytes = 0;
    reply.status = static_cast<ReplyStatus>(7);
    EXPECT_FALSE(reply_fits(reply, 1 << 20));
    reply.status = ReplyStatus::Decoded;
    reply.magic = kRequest;
    EXPECT_FALSE(reply_fits(reply, 1 << 20));
}

TEST(DecoderProtocolTest, TheMemoryLimitCoversTheBudgetAndTwoScreensOfPixels)
{
    EXPECT_EQ(decoder_memory_limit(SIZE{1920, 1080}) - decoder_memory_limit(SIZE{0, 0}),
              std::uint64_t{2} * 1920 * 1080 * 4);
    EXPECT_GT(decoder_memory_limit(SIZE{0, 0}), imaging::kPictureBudgetBytes);
}

// ---- The children's side: these run only when a test above asks for them ----

TEST(DecoderChild, DISABLED_Serve)
{
    const std::optional<int> code = run_decoder_if_asked(::GetCommandLineW(), decoder_test_triggers());
    ASSERT_TRUE(code.has_value());
}

TEST(DecoderChild, DISABLED_ServeWithoutComponent)
{
    const auto refuse = [](FileDecoder&, HANDLE, platform::SizeF) -> std::shared_ptr<const Win32Picture> {
        throw ComponentUnavailable();
    };
    ASSERT_TRUE(run_decoder_if_asked(::GetCommandLineW(), refuse).has_value());
}

TEST(DecoderChild, DISABLED_EndAtOnce)
{
    ::ExitProcess(3);
}

TEST(DecoderChild, DISABLED_NeverReady)
{
    ::Sleep(5000);
}

TEST(DecoderChild, DISABLED_OwnAHangingDecoder)
{
    wchar_t pid_file[MAX_PATH] = {};
    ASSERT_TRUE(::GetEnvironmentVariableW(kPidFileVariable, pid_file, MAX_PATH));
    TempFolder folder(L"decoder-hang");
    const std::wstring hang = folder.file(L"hang.DAT");
    write_text(hang, "KWOBL-TEST-HANG");
    DecoderProcess decoder(test_decoder(), DecoderSettings{}, INFINITE - 1);
    // The decoder starts with the first request, on another thread, which is stuck in it from then on.
    std::thread([&decoder, hang] { (void)decoder.decode(hang, kScreen); }).detach();
    while (decoder.process_id() == 0 || decoder.starts() == 0)
        ::Sleep(10);
    ::Sleep(200);
    write_text(pid_file, std::to_string(decoder.process_id()) + "\n");
    ::Sleep(INFINITE);
}

} // namespace
} // namespace platform::win32
