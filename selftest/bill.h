// The bill of materials a ZIP ships beside its files (imdaemon.cdx.json,
// imdaemon-selftest.cdx.json): every file it lists with its SHA-256, so that
// each file as unpacked can be compared with the one the release made, byte
// for byte. A file of another build, a foreign stand-in, or files of two
// releases mixed in one folder all differ there.
#ifndef SELFTEST_BILL_H
#define SELFTEST_BILL_H

#include <map>
#include <string>
#include <vector>

// The files the bill at path lists, by their path in the ZIP (folders
// written with '/'), with their SHA-256 in lower-case hex. False, with why,
// when it cannot be read or is no bill this self-test understands.
bool ReadBill(const std::wstring &path, std::map<std::string, std::string> &files, std::string &error);

// SHA-256 of a file in lower-case hex; empty, with why, when it cannot be
// read or hashed.
std::string FileSha256(const std::wstring &path, std::string &error);

// One sentence per file of the bill found in folder that differs from it
// (where: "the release folder", ...), and per file of required that the bill
// does not list. The bill's path is folder + billName; the files it lists
// that folder lacks are added to absent.
std::vector<std::string> CompareWithBill(const std::wstring &folder, const std::string &billName,
                                         const std::vector<std::string> &required, const std::string &where,
                                         std::vector<std::string> &absent);

#endif
