// Who besides the trusted accounts may change what runs: each object of the
// model judged once, under the strictest of its roles, and reported once.
#ifndef IMCHECK_JUDGE_H
#define IMCHECK_JUDGE_H

#include <string>
#include <vector>

#include "objects.h"

// The judgment of one object: the accounts besides the trusted ones that
// hold a right that matters (empty when none), or why its owner and
// permissions cannot be read.
struct Judgment {
    std::string accounts;
    unsigned long error = 0;
};

// Reads every object's owner and permissions.
std::vector<Judgment> JudgeModel(const Model &m);

// The trust findings, in the order the objects were gathered; a walked
// folder's in few enough lines to read.
void ReportTrust(const Model &m, const std::vector<Judgment> &judged);

extern const wchar_t szTrustedAccounts[];

#endif
