// Process entry of the player.
#include "runtime/player.h"

int main(int argc, char **argv)
{
    return PlayerMain(argc, argv);
}
