#pragma once
// What drelk2 --help tells beyond the options: the keys, where the data file is looked for and
// the exit statuses.

#include <string>

class THelpText
{
public:
    static std::string Epilogue();
};
