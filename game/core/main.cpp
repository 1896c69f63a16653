// Entry point of VEXON SIMS.
int main()
{
    return 0;
}
