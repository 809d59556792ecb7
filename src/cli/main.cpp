#include "cli/cli.h"

int main(int argc, char** argv) {
    return run_qarvex(argc, argv);
}
