// quorvel-batch: find and replace text in many drawings without the windows.
#include <cstdio>
#include <exception>

#include "batch/run.h"

#ifdef QUORVEL_BATCH_BUS
#include "batch/bushost.h"
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
#ifdef QUORVEL_BATCH_BUS
        return quorvel::batch::runProgram(arguments, &quorvel::batch::processOverBus);
#else
        return quorvel::batch::runProgram(arguments);
#endif
    } catch (const std::exception& error) {
        // Drawings finished before this point are in the run's journal and can be undone.
        std::fprintf(stderr, "quorvel-batch：运行中断：%s\n", error.what());
        return quorvel::batch::kExitSomeFailed;
    }
}
