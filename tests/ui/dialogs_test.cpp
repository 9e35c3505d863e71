#include "ui/dialogs.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/background_window.h"
#include "ui_test_support.h"

namespace {

using uitest::Click;
using uitest::ItemText;
using uitest::Pause;
using uitest::PressKey;
using uitest::WaitForWindow;
using uitest::WaitUntilGone;

const char kLicenseCaption[] = "End-User License Agreement";
const char kReadmeCaption[] = "Important Information";
const char kDirectoryCaption[] = "Choose Installation Directory";
const char kProgressCaption[] = "Installing...";

// Runs `act` on a second thread against the dialog with that caption while
// the test thread sits in the dialog's modal loop. Should the actions leave
// the dialog open, it is ended with `escapeId` so the test cannot hang.
class Actor {
public:
    Actor(const char* caption, int escapeId, std::function<void(HWND)> act)
        : thread_([=] {
              HWND dialog = WaitForWindow(caption);
              found = dialog != nullptr;
              if (!dialog) return;
              centred = uitest::IsCentred(dialog);
              act(dialog);
              if (!WaitUntilGone(dialog, 4000)) {
                  stuck = true;
                  Click(dialog, escapeId);
              }
          }) {}
    ~Actor() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    std::atomic<bool> found{false}, centred{false}, stuck{false};

private:
    std::thread thread_;
};

struct ChildSearch {
    const char* className;
    std::vector<std::string> texts;
};
BOOL CALLBACK CollectChild(HWND child, LPARAM p) {
    auto* s = reinterpret_cast<ChildSearch*>(p);
    char name[64] = "";
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, s->className) == 0) s->texts.push_back(uitest::Text(child));
    return TRUE;
}

// Texts of the window's children of one class, in creation order.
std::vector<std::string> ChildTexts(HWND window, const char* className) {
    ChildSearch search{className, {}};
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.texts;
}

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Instance = GetModuleHandleA(nullptr);
        StartUserInterface();
        SetDefaultBackground();
        SetBackgroundTitle("Quillpack Sample Product");
        SetBackgroundTitleColor(RGB(255, 255, 255));
        SetBackgroundColors(RGB(0, 64, 160), RGB(0, 0, 24));
        background_ = CreateBackgroundWindow();
        PumpMessages();
    }
    static void TearDownTestSuite() {
        DestroyWindow(background_);
        MainWindow = nullptr;
    }
    void SetUp() override {
        MainWindow = background_;
        DirectoryPrompt = "Choose the directory where Sample Product should be installed.";
    }
    static HWND background_;
};
HWND Dialogs::background_ = nullptr;

TEST_F(Dialogs, TextDialogsShowTheirTextsCentredAndIgnoreEscapeAndClose) {
    const struct {  // texts: intro, accept, refuse; ends with Enter or else the refuse button
        const char *name, *caption, *screenshot;
        std::vector<std::string> texts;
        bool enter;
        INT_PTR result;
    } cases[] = {
        {"LicenseDlg", kLicenseCaption, "license_dialog",
         {"Before you install this product, you must agree to the terms of this End-User License Agreement:",
          "&Yes, I accept the terms of the license agreement", "&No, I do not accept the terms"},
         true, IDC_ACCEPT},
        {"ReadmeDlg", kReadmeCaption, "readme_dialog",
         {"The following document contains important information that you should read before installing the "
          "product:",
          "&Continue", "&Abort"},
         false, IDC_REFUSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> texts;
        std::string document;
        std::atomic<bool> openAfterEscape{false}, openAfterClose{false};
        Actor actor(c.caption, IDC_REFUSE, [&](HWND d) {
            texts = {ChildTexts(d, "Static").at(0), ItemText(d, IDC_ACCEPT), ItemText(d, IDC_REFUSE)};
            document = ItemText(d, IDC_DOCUMENT);
            Pause(300);
            uitest::SaveScreenshot(c.screenshot);
            PressKey(d, VK_ESCAPE);
            Pause(400);
            openAfterEscape = IsWindow(d) != FALSE;
            PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            Pause(400);
            openAfterClose = IsWindow(d) != FALSE;
            if (c.enter) {
                PressKey(d, VK_RETURN);
            } else {
                Click(d, IDC_REFUSE);
            }
        });
        const INT_PTR result = ShowTextDialog(c.name, "Terms of use.\r\nSecond line.");
        actor.Join();
        ASSERT_TRUE(actor.found);
        EXPECT_FALSE(actor.stuck);
        EXPECT_TRUE(actor.centred);
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(document, "Terms of use.\r\nSecond line.");
        EXPECT_TRUE(openAfterEscape);
        EXPECT_TRUE(openAfterClose);
        EXPECT_EQ(result, c.result);
    }
}

TEST_F(Dialogs, ChooseDirectoryShowsPromptAndFieldAndIgnoresEscapeAndClose) {
    std::vector<std::string> texts;
    std::atomic<bool> openAfterEscape{false}, openAfterClose{false};
    Actor actor(kDirectoryCaption, IDC_REFUSE, [&](HWND d) {
        for (int id : {IDC_HEADING, IDC_DIRECTORY, IDC_BROWSE, IDC_ACCEPT, IDC_REFUSE}) texts.push_back(ItemText(d, id));
        Pause(300);
        uitest::SaveScreenshot("choose_directory_dialog");
        PressKey(d, VK_ESCAPE);
        Pause(400);
        openAfterEscape = IsWindow(d) != FALSE;
        PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        Pause(400);
        openAfterClose = IsWindow(d) != FALSE;
        Click(d, IDC_REFUSE);
    });
    String directory = "C:\\Program Files\\Sample";
    EXPECT_FALSE(ChooseDirectory(directory)) << "Abort answers false";
    actor.Join();
    ASSERT_TRUE(actor.found);
    EXPECT_TRUE(actor.centred);
    EXPECT_EQ(texts, (std::vector<std::string>{"Choose the directory where Sample Product should be installed.",
                                               "C:\\Program Files\\Sample", "&Browse", "&Continue", "&Abort"}));
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(openAfterClose);
    EXPECT_STREQ(directory.Text(), "C:\\Program Files\\Sample") << "Abort leaves the directory";
}

TEST_F(Dialogs, ChooseDirectoryReturnsWhatIsInTheField) {
    const struct { const char* name; bool retype; std::string typing; bool pressEnter; std::string expected; } cases[] = {
        {"Continue keeps the proposal", false, "", false, "D:\\Apps"},
        {"Enter continues with typed text", true, "E:\\Tools", true, "E:\\Tools"},
        {"empty field continues empty", true, "", false, ""},
        {"field takes at most 259 characters", true, std::string(300, 'x'), false, std::string(259, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Actor actor(kDirectoryCaption, IDC_REFUSE, [&](HWND d) {
            HWND edit = GetDlgItem(d, IDC_DIRECTORY);
            if (c.retype) {
                PostMessageA(edit, EM_SETSEL, 0, -1);
                PostMessageA(edit, WM_CLEAR, 0, 0);
                for (char ch : c.typing) PostMessageA(edit, WM_CHAR, WPARAM(ch), 1);
            }
            if (c.pressEnter) {
                Pause(300);
                PressKey(d, VK_RETURN);
            } else {
                Click(d, IDC_ACCEPT);
            }
        });
        String directory = "D:\\Apps";
        EXPECT_TRUE(ChooseDirectory(directory));
        actor.Join();
        ASSERT_TRUE(actor.found);
        EXPECT_FALSE(actor.stuck);
        EXPECT_EQ(std::string(directory.Text()), c.expected);
    }
}

TEST_F(Dialogs, BrowseOpensAtTheFieldsDirectoryAndCancelChangesNothing) {
    // Accepting at once picks the folder the browser opened at.
    for (const auto& [command, start] : {std::make_pair(IDCANCEL, "C:\\windows"),
                                         std::make_pair(IDOK, "C:\\windows\\system32")}) {
        std::atomic<bool> browserSeen{false}, browserCentred{false};
        std::string fieldAfter;
        Actor actor(kDirectoryCaption, IDC_REFUSE, [&, command = command](HWND d) {
            Click(d, IDC_BROWSE);
            HWND browser = uitest::WaitForOwnedWindow(d);
            browserSeen = browser != nullptr;
            if (browser) {
                Pause(800);
                browserCentred = uitest::IsCentred(browser);
                if (command == IDCANCEL) uitest::SaveScreenshot("browse_for_folder");
                PostMessageA(browser, WM_COMMAND, command, 0);
                WaitUntilGone(browser);
            }
            fieldAfter = ItemText(d, IDC_DIRECTORY);
            Click(d, IDC_ACCEPT);
        });
        String directory = start;
        EXPECT_TRUE(ChooseDirectory(directory));
        actor.Join();
        ASSERT_TRUE(browserSeen) << command;
        EXPECT_TRUE(browserCentred);
        EXPECT_EQ(lstrcmpiA(fieldAfter.c_str(), start), 0) << fieldAfter;
        EXPECT_EQ(lstrcmpiA(directory.Text(), start), 0) << directory.Text();
    }
}

TEST_F(Dialogs, ChooseDirectoryThatCannotBeShownIsFatal) {
    EXPECT_EXIT(
        {
            Instance = GetModuleHandleA("kernel32.dll");  // holds no such template
            String directory = "C:\\x";
            ChooseDirectory(directory);
        },
        ::testing::ExitedWithCode(1), "directory dialog could not be shown");
}

TEST_F(Dialogs, ProgressWindowShowsProductStepAndPercent) {
    ASSERT_EQ(ProgressBar, nullptr);
    EXPECT_FALSE(SetProgressPercent(10)) << "no bar yet";

    ASSERT_NE(CreateProgressWindow("Sample Product"), nullptr);
    ASSERT_NE(ProgressWindow, nullptr);
    ASSERT_NE(ProgressBar, nullptr);
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(ProgressWindow) && uitest::IsCentred(ProgressWindow));
    EXPECT_EQ(uitest::Text(ProgressWindow), kProgressCaption);
    EXPECT_EQ(ItemText(ProgressWindow, IDC_HEADING), "Installing Sample Product...");
    EXPECT_EQ(ItemText(ProgressWindow, IDC_REFUSE), "&Abort");

    RECT frame, bar;
    GetWindowRect(GetDlgItem(ProgressWindow, IDC_PROGRESS_FRAME), &frame);
    GetWindowRect(ProgressBar, &bar);
    EXPECT_TRUE(bar.left < frame.left && bar.top < frame.top && bar.right > frame.right && bar.bottom > frame.bottom);

    EXPECT_FALSE(SetProgressText("Copying %s (%d of %d)", "readme.txt", 3, 7));
    EXPECT_EQ(ItemText(ProgressWindow, IDC_STEP), "Copying readme.txt (3 of 7)");
    for (int percent : {0, 40, 100}) {
        EXPECT_FALSE(SetProgressPercent(percent));
        EXPECT_EQ(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0), percent);
    }
    SetProgressPercent(55);
    SetProgressText("Storing files...");
    Pause(200);
    PumpMessages();
    uitest::SaveScreenshot("progress_dialog");

    DestroyProgressWindow();
    EXPECT_TRUE(ProgressWindow == nullptr && ProgressBar == nullptr);
    EXPECT_FALSE(SetProgressPercent(20));
}

TEST_F(Dialogs, AbortAnsweredNoChangesNothing) {
    ASSERT_NE(CreateProgressWindow("Sample Product"), nullptr);
    SetProgressText("Storing files...");
    SetProgressPercent(30);
    std::atomic<bool> done{false}, asked{false};
    std::vector<std::string> question;
    std::thread actor([&] {
        Click(ProgressWindow, IDC_REFUSE);
        HWND box = WaitForWindow("Abort");
        asked = box != nullptr;
        if (box) {
            question = ChildTexts(box, "Static");
            PostMessageA(box, WM_COMMAND, IDNO, 0);
            WaitUntilGone(box);
        }
        done = true;
    });
    for (int i = 0; i < 1000 && !done; ++i) {
        PumpMessages();
        Pause(10);
    }
    actor.join();
    EXPECT_TRUE(asked);
    bool worded = false;
    for (const auto& t : question)
        worded = worded || t == "Installation is not complete.  Are you sure you want to abort?";
    EXPECT_TRUE(worded);
    ASSERT_TRUE(IsWindow(ProgressWindow));
    EXPECT_TRUE(IsWindow(MainWindow));
    EXPECT_EQ(ItemText(ProgressWindow, IDC_STEP), "Storing files...");
    EXPECT_EQ(SendMessageA(ProgressBar, PBM_GETPOS, 0, 0), 30);
    DestroyProgressWindow();
}

TEST_F(Dialogs, AbortAnsweredYesEndsTheProgramAsCancelled) {
    EXPECT_EXIT(
        {
            CreateProgressWindow("Sample Product");
            std::thread([] {
                Click(ProgressWindow, IDC_REFUSE);
                HWND box = WaitForWindow("Abort");
                if (box) PostMessageA(box, WM_COMMAND, IDYES, 0);
            }).detach();
            for (int i = 0; i < 1000; ++i) {
                SetProgressText("Working...");
                Pause(10);
            }
            fprintf(stderr, "still running\n");
            exit(99);
        },
        ::testing::ExitedWithCode(2), "");
    EXPECT_EQ(FindWindowA(nullptr, kProgressCaption), nullptr);
}

TEST(WindowText, ReadsWholeTextsAndIsEmptyWithoutAWindow) {
    EXPECT_EQ(WindowText(nullptr).Length(), 0);
    EXPECT_EQ(DialogItemText(nullptr, IDC_STEP).Length(), 0);
    for (const std::string& text : {std::string(), std::string("a"), std::string(5000, 'q')}) {
        HWND w = CreateWindowExA(0, "STATIC", text.c_str(), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        String read = WindowText(w);
        EXPECT_EQ(std::string(read.Text(), size_t(read.Length())), text);
        DestroyWindow(w);
    }
}

TEST(CenterWindow, CentresAndShrinksToTheScreen) {
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    const struct { int width, height; RECT expected; } cases[] = {
        // Both edges count, so a centred window grows by one pixel each way.
        {201, 101, {(sw - 202) / 2, (sh - 102) / 2, (sw - 202) / 2 + 202, (sh - 102) / 2 + 102}},
        {sw + 300, sh + 50, {0, 0, sw, sh}},
        {sw + 300, 99, {0, (sh - 100) / 2, sw, (sh - 100) / 2 + 100}},
    };
    for (const auto& c : cases) {
        HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 17, 23, c.width, c.height, nullptr, nullptr, nullptr,
                                 nullptr);
        CenterWindow(w);
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}),
                  (std::vector<LONG>{c.expected.left, c.expected.top, c.expected.right, c.expected.bottom}))
            << c.width << "x" << c.height;
        DestroyWindow(w);
    }
}

TEST(PumpMessages, ReportsAClosingMessageAndAnEmptyQueue) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_FALSE(PumpMessages());
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    PostMessageA(w, WM_NULL, 0, 0);
    EXPECT_FALSE(PumpMessages());
    PostMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpMessages());
    PostQuitMessage(0);
    EXPECT_TRUE(PumpMessages());
    EXPECT_FALSE(PumpMessages());
    DestroyWindow(w);
}

}  // namespace
