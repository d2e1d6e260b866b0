// The dialog layer itself: an exception thrown by a hook closes the dialog
// (or the sheet) and reaches the caller, never the dialog manager; and the
// values text of the information dialog for headers other than the common
// one.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>

#include "tests/win/dialogs/DialogDriver.h"
#include "ui/DialogLayer.h"
#include "ui/FileInfoDialog.h"
#include "ui/resource.h"

using namespace dialogs;

namespace {

// The plug-in library holds the templates. It is loaded for one test only:
// other tests need it loaded afresh, with its start-up state.
HMODULE g_templates = nullptr;
HINSTANCE Templates() { return g_templates; }

class DialogLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    g_templates = LoadLibraryA(BesideProgram("BramblecotMp3.dll").c_str());
    ASSERT_NE(g_templates, nullptr);
  }
  void TearDown() override {
    FreeLibrary(g_templates);
    g_templates = nullptr;
  }
};

class ThrowingDialog : public bramble::Dialog {
 public:
  ThrowingDialog(bool in_init) : Dialog(Templates(), IDD_FILE_INFO), in_init_(in_init) {}
  int commands_after = 0;

 protected:
  BOOL OnInitDialog() override {
    if (in_init_) throw std::runtime_error("init");
    return TRUE;
  }
  bool OnCommand(int id, int code, HWND) override {
    if (id == IDC_INFO_REMOVE) throw std::runtime_error("remove");
    if (id == IDOK) ++commands_after;
    return false;
  }

 private:
  bool in_init_;
};

TEST_F(DialogLayer, ExceptionInAHookEndsTheDialogAndReachesTheCaller) {
  ThrowingDialog early(true);
  EXPECT_THROW(early.DoModal(nullptr), std::runtime_error);

  ThrowingDialog late(false);
  const DWORD thread = GetCurrentThreadId();
  std::string what;
  const bool clean = RunDriven(
      [&] {
        try {
          late.DoModal(nullptr);
        } catch (const std::runtime_error& e) {
          what = e.what();
        }
      },
      [&] {
        HWND dialog = WaitForWindow(thread, "Bramblecot MP3 File Information");
        ASSERT_NE(dialog, nullptr);
        Click(dialog, IDC_INFO_REMOVE);
        EXPECT_TRUE(WaitGone(dialog));
      });
  EXPECT_TRUE(clean);
  EXPECT_EQ(what, "remove");
  EXPECT_EQ(late.commands_after, 0) << "no hook runs once the dialog failed";
}

class ThrowingPage : public bramble::PropertyPage {
 public:
  ThrowingPage() : PropertyPage(Templates(), IDD_GENERAL_PAGE) { SetTitle("Tab"); }

 protected:
  bool OnCommand(int id, int code, HWND) override {
    if (id == IDC_CPU_586 && code == BN_CLICKED) throw std::logic_error("page");
    return false;
  }
};

TEST_F(DialogLayer, ExceptionInAPageEndsTheSheet) {
  ThrowingPage page;
  bramble::SheetDialog sheet("Sheet under test");
  sheet.AddPage(&page);
  const DWORD thread = GetCurrentThreadId();
  bool thrown = false;
  const bool clean = RunDriven(
      [&] {
        try {
          sheet.DoModal();
        } catch (const std::logic_error&) {
          thrown = true;
        }
      },
      [&] {
        HWND window = WaitForWindow(thread, "Sheet under test");
        ASSERT_NE(window, nullptr);
        Click(CurrentPage(window), IDC_CPU_586);
        EXPECT_TRUE(WaitGone(window));
      });
  EXPECT_TRUE(clean);
  EXPECT_TRUE(thrown);
}

TEST(StreamValues, ValuesTextFollowsTheFrameHeader) {
  struct Case {
    uint8_t header[4];
    int length_ms;
    uint32_t size;
    const char* text;
    int average_kbps;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x40}, 5999, 100000, "5 Sec.\n100000 Bytes\nMPEG-1 III\n128 Kbps\n44100 Hz\nJoint-Stereo\n",
       0},
      // A variable-rate file shows its average, not the frame's rate.
      {{0xFF, 0xFB, 0x90, 0x40}, 30040, 398693, "30 Sec.\n398693 Bytes\nMPEG-1 III\n106 Kbps\n44100 Hz\nJoint-Stereo\n",
       106},
      // MPEG-2 Layer II at 64 kbit/s, 24 kHz, single channel (shares Layer III's row).
      {{0xFF, 0xF5, 0x84, 0xC0}, 1000, 5, "1 Sec.\n5 Bytes\nMPEG-2 LSF II\n64 Kbps\n24000 Hz\nSingle-Ch\n", 0},
      // MPEG-2.5 Layer III at 8 kbit/s, 11025 Hz.
      {{0xFF, 0xE3, 0x10, 0xC0}, 0, 0, "0 Sec.\n0 Bytes\nMPEG-2.5 III\n8 Kbps\n11025 Hz\nSingle-Ch\n", 0},
      // MPEG-1 Layer I, 448 kbit/s, 32 kHz, dual channel.
      {{0xFF, 0xFF, 0xE8, 0x80}, 0, 0, "0 Sec.\n0 Bytes\nMPEG-1 I\n448 Kbps\n32000 Hz\nDual-Ch\n", 0},
      // No header (nothing synchronised yet), a reserved layer, sample-rate
      // index 3 or bit-rate index 15: no frame, nothing to show.
      {{0x00, 0x00, 0x00, 0x00}, 0, 0, bramble::kValuesNotAvailable, 0},
      {{0xFF, 0xF9, 0x90, 0x40}, 0, 0, bramble::kValuesNotAvailable, 0},
      {{0xFF, 0xFD, 0x5C, 0x00}, 2500, 7, bramble::kValuesNotAvailable, 0},
      {{0xFF, 0xFB, 0xF0, 0x40}, 0, 0, bramble::kValuesNotAvailable, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(bramble::FormatStreamValues(c.header, c.length_ms, c.size, c.average_kbps), c.text) << c.text;
}

}  // namespace
