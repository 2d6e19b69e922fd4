#include "judge.h"

#include <algorithm>

#include "ansi_text.h"
#include "report.h"

const wchar_t szTrustedAccounts[] = L"SYSTEM, Administrators and TrustedInstaller";

enum {
    // A report stays readable when a whole folder is open: at most this
    // many lines for one walked folder and what lies below it.
    MAX_TREE_LINES = 6
};

std::vector<Judgment> JudgeModel(const Model &m)
{
    std::vector<Judgment> judged(m.objects.size());
    for (size_t i = 0; i < m.objects.size(); ++i) {
        const Object &o = m.objects[i];
        if (!UntrustedHoldersOfPath(o.path, RightsOf(o), o.link, judged[i].accounts, judged[i].error))
            judged[i].accounts.clear();
    }
    return judged;
}

// Whether the object is reported as a member of tree t: its strictest role
// is the one it plays there.
static bool ReportedIn(const Object &o, size_t t)
{
    return StrictestUse(o).tree == t;
}

// The findings of a walked folder: a folder open to the same accounts as
// everything below it is one line; past MAX_TREE_LINES the rest is counted
// in one more; what cannot be read is one line.
static void ReportTree(const Model &m, size_t t, const std::vector<Judgment> &judged)
{
    const Tree &tree = m.trees[t];
    struct Line {
        std::wstring text;
        size_t objects;
        std::string accounts;
    };
    std::vector<Line> lines;
    size_t unreadable = 0;
    const TreeMember *firstUnreadable = 0;
    for (size_t i = 0; i < tree.members.size(); ++i) {
        const TreeMember &member = tree.members[i];
        const Object &o = m.objects[member.object];
        const Judgment &j = judged[member.object];
        bool reported = ReportedIn(o, t);
        unsigned long error = member.error ? member.error : reported ? j.error : 0;
        if (error && !unreadable++)
            firstUnreadable = &member;
        if (!reported || j.accounts.empty())
            continue;
        size_t open = 0;
        bool same = member.folder && member.below > 0;
        for (size_t k = i + 1; same && k <= i + member.below; ++k)
            if (ReportedIn(m.objects[tree.members[k].object], t)) {
                same = judged[tree.members[k].object].accounts == j.accounts &&
                       !judged[tree.members[k].object].error && !tree.members[k].error;
                ++open;
            }
        const std::wstring &what = StrictestUse(o).what;
        if (same && open > 0) {
            lines.push_back({what + L" " + Quoted(o.path) + L" and the " + Number(open) +
                                 L" files and folders below it can be changed by " + FromAnsi(j.accounts),
                             1 + open, j.accounts});
            i += member.below;
        } else {
            lines.push_back(
                {what + L" " + Quoted(o.path) + L" can be changed by " + FromAnsi(j.accounts), 1, j.accounts});
        }
    }
    size_t shown = lines.size() <= MAX_TREE_LINES ? lines.size() : MAX_TREE_LINES - 1;
    for (size_t i = 0; i < shown; ++i)
        Warning(lines[i].text + L": " + tree.why + L"; let only " + szTrustedAccounts + L" change it");
    const std::wstring &root = m.objects[tree.members[0].object].path;
    if (shown < lines.size()) {
        size_t rest = 0;
        std::vector<std::string> accounts;
        for (size_t i = shown; i < lines.size(); ++i) {
            rest += lines[i].objects;
            if (std::find(accounts.begin(), accounts.end(), lines[i].accounts) == accounts.end())
                accounts.push_back(lines[i].accounts);
        }
        std::string names;
        for (const std::string &a : accounts)
            names += (names.empty() ? "" : "; ") + a;
        Warning(L"and " + Number(rest) + L" more files and folders below " + Quoted(root) +
                L" can be changed by " + FromAnsi(names) + L": " + tree.why + L"; let only " + szTrustedAccounts +
                L" change them");
    }
    if (unreadable)
        Warning(L"the permissions of " + Number(unreadable) + L" of the files and folders of " + tree.rootWhat +
                L" " + Quoted(root) + L" cannot be read (the first: " +
                Quoted(m.objects[firstUnreadable->object].path) + L", error " + Number(firstUnreadable->error) +
                L"): make sure that only " + szTrustedAccounts + L" can change them");
}

void ReportTrust(const Model &m, const std::vector<Judgment> &judged)
{
    // Each object where it was first gathered; a walked folder's objects
    // together, where its root was.
    std::vector<bool> treeReported(m.trees.size());
    std::vector<size_t> treeOfRoot(m.objects.size(), NO_TREE);
    for (size_t t = 0; t < m.trees.size(); ++t)
        if (treeOfRoot[m.trees[t].members[0].object] == NO_TREE)
            treeOfRoot[m.trees[t].members[0].object] = t;
    for (size_t i = 0; i < m.objects.size(); ++i) {
        const Object &o = m.objects[i];
        const Use &use = StrictestUse(o);
        for (size_t t = treeOfRoot[i]; t != NO_TREE && !treeReported[t]; t = NO_TREE) {
            treeReported[t] = true;
            ReportTree(m, t, judged);
        }
        if (use.tree != NO_TREE)
            continue;
        const Judgment &j = judged[i];
        if (j.error)
            Warning(L"the permissions of " + use.what + L" " + Quoted(o.path) + L" cannot be read (error " +
                    Number(j.error) + L"): make sure that only " + szTrustedAccounts + L" can change it");
        else if (!j.accounts.empty())
            Warning(use.what + L" " + Quoted(o.path) + L" can be changed by " + FromAnsi(j.accounts) + L": " +
                    use.why + L"; let only " + szTrustedAccounts + L" change it");
    }
    for (size_t t = 0; t < m.trees.size(); ++t)
        if (!treeReported[t])
            ReportTree(m, t, judged);
    if (m.walkCut)
        Warning(L"imcheck looked at the first " + Number(MAX_TREE_OBJECTS) + L" files and folders, and " +
                Number(MAX_TREE_DEPTH) +
                L" folders deep, of the Java runtime and the class path's folders only: make sure that only " +
                szTrustedAccounts + L" can change the rest");
}
