// quorvel-batch: find and replace text in many drawings without the windows.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "batch/run.h"

#include "batch/hosts.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>

// The command line as the system has it, in UTF-16, turned into UTF-8; the console shows UTF-8.
static std::vector<std::string> programArguments(int, char**) {
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) {
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(static_cast<std::size_t>(length > 0 ? length - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), length, nullptr, nullptr);
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
    return arguments;
}
#else
static std::vector<std::string> programArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = programArguments(argc, argv);
    try {
#if defined(QUORVEL_BATCH_BUS)
        return quorvel::batch::runProgram(arguments, {"bus", &quorvel::batch::processOverBus});
#elif defined(QUORVEL_BATCH_COM)
        return quorvel::batch::runProgram(arguments, {"com", &quorvel::batch::processOverCom});
#else
        return quorvel::batch::runProgram(arguments);
#endif
    } catch (const std::exception& error) {
        // Drawings finished before this point are in the run's journal and can be undone.
        std::fprintf(stderr, "quorvel-batch：运行中断：%s\n", error.what());
        return quorvel::batch::kExitSomeFailed;
    }
}
