// settings-driver: drives velkar-settings.exe as an accessibility tool
// would, for the tests: it finds the window and its controls through the
// Windows API, by the texts of their labels (the label before a control names
// it), never by position, reads and sets their texts and presses buttons.
//
//   settings-driver [--hold FILE] PROGRAM [ARGUMENT] -- COMMAND...
//     --hold FILE          holds FILE open, sharing nothing, from before the
//                          program starts until the release command
//     show                 prints "LABEL: TEXT" for every labelled control
//     set LABEL HEX        sets the control's text to the UTF-8 bytes HEX
//     choose LABEL INDEX   selects item INDEX of a list, as a user does
//     press BUTTON         presses the button whose text is BUTTON
//     press-answering BUTTON yes|no
//                          presses it, then answers the question it asks,
//                          printing "asked: TEXT" ("asked: nothing" if none)
//     write PATH HEX       writes the bytes HEX to the file PATH, as another
//                          program would while the window is open
//     status               prints "status: TEXT", the status line
//     release              lets go of the file held
//     close                closes the window; it must go without a question
//     close-discarding     closes it, answering No when asked to save
// Labels and button texts are given without "&" and ":"; output is UTF-8.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD WAIT_STEP_MS = 100;
constexpr int STARTUP_STEPS = 600;  // a 32-bit program under an emulator starts slowly

PROCESS_INFORMATION process;
HWND dialog;

std::string utf8(const std::wstring& text) {
    std::string out(4 * text.size() + 1, '\0');
    out.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0],
                            static_cast<int>(out.size()), nullptr, nullptr)));
    return out;
}

std::wstring fromHex(const char* hex) {
    std::string bytes;
    for (std::size_t i = 0; hex[i] != '\0' && hex[i + 1] != '\0'; i += 2) {
        const char pair[3] = {hex[i], hex[i + 1], '\0'};
        bytes += static_cast<char>(std::strtoul(pair, nullptr, 16));
    }
    std::wstring out(bytes.size() + 1, L'\0');
    out.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, bytes.data(),
                                                            static_cast<int>(bytes.size()), &out[0],
                                                            static_cast<int>(out.size()))));
    return out;
}

std::wstring textOf(HWND window) {
    wchar_t text[4096];
    const LRESULT length = SendMessageW(window, WM_GETTEXT, sizeof text / sizeof text[0],
                                        reinterpret_cast<LPARAM>(text));
    return std::wstring(text, static_cast<std::size_t>(length));
}

std::wstring classOf(HWND window) {
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    return name;
}

// A label's or a button's text as a person reads it: no "&", no ":".
std::wstring plain(std::wstring text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c != L'&') out += c;
    }
    while (!out.empty() && (out.back() == L':' || out.back() == L' ')) out.pop_back();
    return out;
}

bool isLabel(HWND window) {
    if (lstrcmpiW(classOf(window).c_str(), L"Static") != 0) return false;
    return !textOf(window).empty();
}

struct Labelled {
    std::wstring label;
    HWND control;
};

// Every control with a label before it, in the window's order.
std::vector<Labelled> labelledControls() {
    std::vector<Labelled> found;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (!isLabel(child)) continue;
        const HWND next = GetWindow(child, GW_HWNDNEXT);
        if (next != nullptr && !isLabel(next) && classOf(next) != L"Button") {
            found.push_back({plain(textOf(child)), next});
        }
    }
    return found;
}

HWND labelled(const std::wstring& label) {
    for (const Labelled& item : labelledControls()) {
        if (item.label == label) return item.control;
    }
    std::printf("no control labelled '%s'\n", utf8(label).c_str());
    std::exit(3);
}

HWND button(const std::wstring& text) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (classOf(child) == L"Button" && plain(textOf(child)) == text) return child;
    }
    std::printf("no button '%s'\n", utf8(text).c_str());
    std::exit(3);
}

bool isCheckBox(HWND window) {
    return classOf(window) == L"Button" &&
           (GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX;
}

HWND statusLine() {
    // The one static after the problems, with no label of its own: the
    // last static before the Save button.
    HWND status = nullptr;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (classOf(child) == L"Button" && plain(textOf(child)) == L"Save") break;
        if (lstrcmpiW(classOf(child).c_str(), L"Static") == 0) status = child;
    }
    return status;
}

struct Search {
    DWORD processId;
    HWND except;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    Search& search = *reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && window != search.except && classOf(window) == L"#32770" &&
        IsWindowVisible(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND processDialog(HWND except) {
    Search search{process.dwProcessId, except, nullptr};
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool processEnded(int steps) {
    return WaitForSingleObject(process.hProcess, WAIT_STEP_MS * steps) == WAIT_OBJECT_0;
}

}  // namespace

int main(int argc, char** argv) {
    HANDLE held = INVALID_HANDLE_VALUE;
    if (argc > 3 && std::string(argv[1]) == "--hold") {
        held = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE) {
            std::printf("cannot hold %s: error %lu\n", argv[2], GetLastError());
            return 1;
        }
        argv[2] = argv[0];
        argv += 2;
        argc -= 2;
    }
    int commands = 1;
    while (commands < argc && std::string(argv[commands]) != "--") ++commands;
    if (commands >= argc) {
        std::fprintf(stderr, "usage: settings-driver PROGRAM [ARGUMENT] -- COMMAND...\n");
        return 2;
    }
    std::string line = "\"" + std::string(argv[1]) + "\"";
    for (int i = 2; i < commands; ++i) line += " \"" + std::string(argv[i]) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process) == 0) {
        std::printf("cannot start %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    for (int step = 0; step < STARTUP_STEPS && dialog == nullptr; ++step) {
        dialog = processDialog(nullptr);
        if (dialog == nullptr) Sleep(WAIT_STEP_MS);
    }
    if (dialog == nullptr) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        std::printf("no settings window appeared (the program %s)\n",
                    code == STILL_ACTIVE ? "runs" : "has ended");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (int i = commands + 1; i < argc; ++i) {
        const std::string command = argv[i];
        if (command == "show") {
            for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                if (!isCheckBox(child)) continue;
                const bool ticked = SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
                std::printf("[%c] %s\n", ticked ? 'x' : ' ', utf8(plain(textOf(child))).c_str());
            }
            for (const Labelled& item : labelledControls()) {
                std::printf("%s: %s\n", utf8(item.label).c_str(),
                            utf8(textOf(item.control)).c_str());
            }
        } else if (command == "tick" && i + 2 < argc) {
            // As a click does: the box changes, then tells the window.
            const HWND box = button(plain(fromHex(argv[++i])));
            const bool ticked = std::string(argv[++i]) == "1";
            SendMessageW(box, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), BN_CLICKED),
                         reinterpret_cast<LPARAM>(box));
        } else if (command == "set" && i + 2 < argc) {
            const HWND target = labelled(plain(fromHex(argv[++i])));
            const std::wstring text = fromHex(argv[++i]);
            SendMessageW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        } else if (command == "choose" && i + 2 < argc) {
            const HWND list = labelled(plain(fromHex(argv[++i])));
            SendMessageW(list, CB_SETCURSEL, std::strtoul(argv[++i], nullptr, 10), 0);
            // As a user's choice does, the list tells the window.
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
        } else if (command == "press" && i + 1 < argc) {
            const HWND pressed = button(plain(fromHex(argv[++i])));
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(pressed), BN_CLICKED),
                                reinterpret_cast<LPARAM>(pressed), SMTO_NORMAL, 60000, &answer);
        } else if (command == "press-answering" && i + 2 < argc) {
            const HWND pressed = button(plain(fromHex(argv[++i])));
            const bool yes = std::string(argv[++i]) == "yes";
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(pressed), BN_CLICKED),
                         reinterpret_cast<LPARAM>(pressed));
            HWND question = nullptr;
            for (int step = 0; step < 100 && question == nullptr; ++step) {
                question = processDialog(dialog);
                if (question == nullptr) Sleep(WAIT_STEP_MS);
            }
            std::wstring asked = L"nothing";
            if (question != nullptr) {
                for (HWND child = GetWindow(question, GW_CHILD); child != nullptr;
                     child = GetWindow(child, GW_HWNDNEXT)) {
                    if (lstrcmpiW(classOf(child).c_str(), L"Static") == 0 &&
                        !textOf(child).empty()) {
                        asked = textOf(child);
                    }
                }
                PostMessageW(question, WM_COMMAND, yes ? IDYES : IDNO, 0);
                // The answer is handled before the next command.
                for (int step = 0; step < 100 && IsWindow(question); ++step) Sleep(WAIT_STEP_MS);
                DWORD_PTR answer = 0;
                SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
            }
            for (wchar_t& unit : asked) {
                if (unit == L'\n' || unit == L'\r') unit = L' ';
            }
            std::printf("asked: %s\n", utf8(asked).c_str());
        } else if (command == "write" && i + 2 < argc) {
            const std::string path = argv[++i];
            const std::wstring text = fromHex(argv[++i]);
            const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
            const std::string bytes = utf8(text);
            DWORD written = 0;
            if (file == INVALID_HANDLE_VALUE ||
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr) == 0) {
                std::printf("cannot write %s\n", path.c_str());
            }
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        } else if (command == "release") {
            CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
        } else if (command == "status") {
            std::printf("status: %s\n", utf8(textOf(statusLine())).c_str());
        } else if (command == "close" || command == "close-discarding") {
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            if (command == "close-discarding") {
                HWND question = nullptr;
                for (int step = 0; step < 100 && question == nullptr && !processEnded(0); ++step) {
                    question = processDialog(dialog);
                    if (question == nullptr) Sleep(WAIT_STEP_MS);
                }
                std::printf("asked to save: %s\n", question != nullptr ? "yes" : "no");
                if (question != nullptr) PostMessageW(question, WM_COMMAND, IDNO, 0);
            }
            if (!processEnded(100)) {
                std::printf("the window did not close\n");
                TerminateProcess(process.hProcess, 1);
                return 1;
            }
            std::printf("closed\n");
            return 0;
        } else {
            std::fprintf(stderr, "settings-driver: unknown command %s\n", command.c_str());
            TerminateProcess(process.hProcess, 1);
            return 2;
        }
    }
    TerminateProcess(process.hProcess, 0);
    return 0;
}
