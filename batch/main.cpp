// quorvel-batch: find and replace text in many drawings without the windows.
#include "batch/run.h"

int main(int argc, char** argv) {
    return quorvel::batch::runProgram(std::vector<std::string>(argv + 1, argv + argc));
}
