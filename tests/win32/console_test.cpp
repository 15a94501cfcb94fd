// korvana.exe is a GUI program. Started from a console without redirection, as cmd.exe starts a
// GUI program (no standard handles), its --version and its error messages must still appear on
// that console. Runs under Wine, which shows a console's screen to a reader only on a display.
#include <string>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

// Runs the show with no standard handles and waits for it; its exit code.
DWORD runWithoutHandles(const std::string& arguments) {
    std::string command = "\"" KORVANA_BINARY_DIR "/src/app/korvana.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // all three null
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 1000 + GetLastError();
    DWORD code = 999;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string screenText(HANDLE screen) {
    std::string text(80 * 25, ' ');
    DWORD read = 0;
    if (!ReadConsoleOutputCharacterA(screen, text.data(), static_cast<DWORD>(text.size()), COORD{0, 0}, &read))
        return {};
    text.resize(read);
    return text;
}

TEST(StarterConsole, VersionAndErrorsAppearOnTheStartersConsole) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteConsoleA(screen, "starter\r\n", 9, &written, nullptr);
    if (screenText(screen).find("starter") == std::string::npos) {
        FreeConsole();
        GTEST_SKIP() << "this console's screen cannot be read back here (Wine without a display)";
    }

    EXPECT_EQ(runWithoutHandles("--version"), 0u);
    EXPECT_EQ(runWithoutHandles("--bogus"), 2u);
    const std::string text = screenText(screen);
    CloseHandle(screen);
    FreeConsole();
    EXPECT_NE(text.find("korvana " KORVANA_VERSION), std::string::npos) << text;
    EXPECT_NE(text.find("unknown option '--bogus'"), std::string::npos) << text;
}

}  // namespace
