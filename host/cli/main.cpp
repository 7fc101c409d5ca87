#include "host/cli/CommandLine.h"

int main(int argc, char** argv) {
    return marvex::runCommandLine(argc, argv);
}
