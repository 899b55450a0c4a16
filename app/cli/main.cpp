#include "CliApplication.h"

int main(int argc, char* argv[])
{
    return runCliApplication(argc, argv);
}
