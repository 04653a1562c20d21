// The entry of the windows' library that the executable loads for every mode
// but the HTML export: the application, the batch modes that draw, the self-test.
#include "app/CommandLine.h"
#include "selftest/SelfTest.h"

extern "C" __attribute__((visibility("default"))) int velkin_gui_main(int argc, char** argv)
{
    return velkin::CommandLine::main(argc, argv, velkin::SelfTest::run);
}
