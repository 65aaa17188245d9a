// main.cpp - the demo program's process entry: hands the graphical entry's values on to
// demo_main. There is no instance, previous instance or command line here.
#include "demo.h"

int main() { return demo_main(nullptr, nullptr, "", 1); }
