// Entry point of the Vexon IRC Client.
#include <cstdio>

int main()
{
    std::puts("Vexon IRC Client");
    return 0;
}
