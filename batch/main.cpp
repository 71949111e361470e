// quorvel-batch: find and replace text in many drawings without the windows.
#include "batch/run.h"

#ifdef QUORVEL_BATCH_BUS
#include "batch/bushost.h"
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
#ifdef QUORVEL_BATCH_BUS
    return quorvel::batch::runProgram(arguments, &quorvel::batch::processOverBus);
#else
    return quorvel::batch::runProgram(arguments);
#endif
}
