#include "launcher/Module1.h"

int main(int argc, char **argv)
{
    return LauncherMain(argc, argv);
}
