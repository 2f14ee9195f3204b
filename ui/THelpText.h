#pragma once
// What drelk2 --help tells beyond the options: the keys in force (the settings file only read),
// where the data file is looked for and the exit statuses.

#include <string>

class THelpText
{
public:
    static std::string Epilogue();
};
