// Entry point of VEXON SIMS.
#include "game/app/entry.h"

int main(int argc, char** argv)
{
    return run_sysopsim(argc, argv);
}
