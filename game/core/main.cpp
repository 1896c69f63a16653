// Entry point of VEXON SIMS.
#include "game/core/entry.h"

int main(int argc, char** argv)
{
    return run_sysopsim(argc, argv);
}
