#pragma once

// Registers the embedded images (":/Main", ":/ReviewMenu", ...). The product library is
// static, so the program and the tests call this once before building any screen.
class Resources
{
public:
    static void init();
};
