#include "app/CommandLine.h"

int main(int argc, char** argv)
{
    return velkin::CommandLine::main(argc, argv);
}
