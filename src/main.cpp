#include "app/CommandLine.h"
#include "selftest/SelfTest.h"

int main(int argc, char** argv)
{
    return velkin::CommandLine::main(argc, argv, velkin::SelfTest::run);
}
