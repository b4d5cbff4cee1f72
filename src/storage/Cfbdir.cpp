#include "storage/Cfbdir.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace volm::cfb {

char16_t upperUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A: mostly pairs, upper case on the even unit (with a
        // stretch where it is on the odd one).
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 0) ? static_cast<char16_t>(c - 1) : c;
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
        return (c % 2 == 1) ? static_cast<char16_t>(c - 1) : c;
    if (c >= 0xFF41 && c <= 0xFF5A)
        return static_cast<char16_t>(c - 0x20);
    return c;
}

int compareNames(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = upperUnit(a[i]), y = upperUnit(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

void encodeEmptyEntry(uint8_t* out)
{
    std::fill(out, out + kEntrySize, 0);
    put32(out + eLeft, kNoStream);
    put32(out + eRight, kNoStream);
    put32(out + eChild, kNoStream);
}

void encodeEntry(const Entry& e, uint8_t* out)
{
    std::fill(out, out + kEntrySize, 0);
    size_t n = std::min(e.name.size(), kMaxNameUnits);
    for (size_t i = 0; i < n; ++i)
        put16(out + eName + 2 * i, e.name[i]);
    put16(out + eNameLength, static_cast<uint16_t>((n + 1) * 2));
    out[eType] = e.type;
    out[eColor] = e.red ? 0 : 1;
    put32(out + eLeft, slotOf(e.left));
    put32(out + eRight, slotOf(e.right));
    put32(out + eChild, e.isStorage() ? slotOf(e.child) : kNoStream);
    std::copy(e.clsid.begin(), e.clsid.end(), out + eClsid);
    put32(out + eStateBits, e.stateBits);
    put64(out + eCreated, e.created);
    put64(out + eModified, e.modified);
    put32(out + eStart, e.start);
    put64(out + eSize, e.size);
}

namespace tree {
namespace {

void setRed(Entry* e, bool red, std::vector<Entry*>& touched)
{
    if (e && e->red != red) {
        e->red = red;
        touched.push_back(e);
    }
}

bool isRed(const Entry* e) { return e && e->red; }

// Puts `v` where `u` hangs (under u's parent, or at the top of the storage).
void replaceChild(Entry* storage, Entry* u, Entry* v, std::vector<Entry*>& touched)
{
    Entry* p = u->parent;
    if (!p) {
        storage->child = v;
        touched.push_back(storage);
    } else {
        if (p->left == u)
            p->left = v;
        else
            p->right = v;
        touched.push_back(p);
    }
    if (v)
        v->parent = p;
}

void rotateLeft(Entry* storage, Entry* x, std::vector<Entry*>& touched)
{
    Entry* y = x->right;
    if (!y)
        return;
    replaceChild(storage, x, y, touched);
    x->right = y->left;
    if (y->left)
        y->left->parent = x;
    y->left = x;
    x->parent = y;
    touched.push_back(x);
    touched.push_back(y);
}

void rotateRight(Entry* storage, Entry* x, std::vector<Entry*>& touched)
{
    Entry* y = x->left;
    if (!y)
        return;
    replaceChild(storage, x, y, touched);
    x->left = y->right;
    if (y->right)
        y->right->parent = x;
    y->right = x;
    x->parent = y;
    touched.push_back(x);
    touched.push_back(y);
}

} // namespace

bool ordered(const Entry* storage)
{
    std::vector<Entry*> list = elements(storage);
    for (size_t i = 1; i < list.size(); ++i)
        if (compareNames(list[i - 1]->name, list[i]->name) >= 0)
            return false;
    return true;
}

Entry* find(Entry* storage, std::u16string_view name, size_t limit, bool scan, bool (*accept)(const Entry*))
{
    // A walk visits each entry at most once (loops are cut when the file is
    // read); the bound only guards against a tree that is not one.
    Entry* hit = nullptr;
    Entry* x = storage->child;
    for (size_t steps = 0; x && steps <= limit; ++steps) {
        int c = compareNames(name, x->name);
        if (c == 0) {
            if (!accept || accept(x)) {
                if (!scan || x->name == name)
                    return x;
                hit = x;
            }
            break;
        }
        x = c < 0 ? x->left : x->right;
    }
    if (!scan)
        return nullptr;
    // What `elements` lists, found by the same enumeration: the name exactly
    // as given first, else one equal to it in the format's order.
    for (Entry* e : elements(storage)) {
        if ((accept && !accept(e)) || compareNames(name, e->name) != 0)
            continue;
        if (e->name == name)
            return e;
        if (!hit)
            hit = e;
    }
    return hit;
}

namespace {

// The black height of the tree under `e`, or -1 when the rules are broken.
int blackHeight(const Entry* e)
{
    if (!e)
        return 1;
    if (e->red && (isRed(e->left) || isRed(e->right)))
        return -1;
    int l = blackHeight(e->left);
    if (l < 0)
        return -1;
    int r = blackHeight(e->right);
    if (r != l)
        return -1;
    return l + (e->red ? 0 : 1);
}

// Builds a balanced tree of `list[lo, hi)` under `parent`; returns its top.
Entry* build(std::vector<Entry*>& list, size_t lo, size_t hi, Entry* parent, int depth, int redDepth)
{
    if (lo >= hi)
        return nullptr;
    size_t mid = lo + (hi - lo - 1) / 2;
    Entry* e = list[mid];
    e->parent = parent;
    // Every path ends one or two levels below the other ends: the deepest
    // level red keeps the black heights equal.
    e->red = depth == redDepth && depth > 0;
    e->left = build(list, lo, mid, e, depth + 1, redDepth);
    e->right = build(list, mid + 1, hi, e, depth + 1, redDepth);
    return e;
}

} // namespace

bool redBlack(const Entry* storage)
{
    // A path longer than the rules allow is refused before the recursion
    // (a long chain would take the stack with it).
    size_t count = 0, deepest = 0;
    std::vector<std::pair<const Entry*, size_t>> stack;
    if (storage->child)
        stack.push_back({storage->child, 1});
    while (!stack.empty()) {
        auto [e, d] = stack.back();
        stack.pop_back();
        ++count;
        deepest = std::max(deepest, d);
        if (e->left)
            stack.push_back({e->left, d + 1});
        if (e->right)
            stack.push_back({e->right, d + 1});
    }
    size_t bound = 2;
    for (size_t n = count + 1; n > 1; n >>= 1)
        bound += 2;
    if (deepest > bound)
        return false;
    return !isRed(storage->child) && blackHeight(storage->child) > 0;
}

void rebuild(Entry* storage, std::vector<Entry*>& touched)
{
    std::vector<Entry*> list = elements(storage);
    std::stable_sort(list.begin(), list.end(),
                     [](const Entry* a, const Entry* b) { return compareNames(a->name, b->name) < 0; });
    int levels = 0; // of a tree of list.size() entries built by halves
    for (size_t n = list.size(); n > 0; n /= 2)
        ++levels;
    storage->child = build(list, 0, list.size(), nullptr, 0, levels - 1);
    storage->sound = true;
    touched.push_back(storage);
    touched.insert(touched.end(), list.begin(), list.end());
}

std::vector<Entry*> elements(const Entry* storage)
{
    std::vector<Entry*> out;
    std::vector<Entry*> stack;
    Entry* x = storage->child;
    while (x || !stack.empty()) {
        while (x) {
            stack.push_back(x);
            x = x->left;
        }
        x = stack.back();
        stack.pop_back();
        out.push_back(x);
        x = x->right;
    }
    return out;
}

void insert(Entry* storage, Entry* z, std::vector<Entry*>& touched)
{
    Entry* y = nullptr;
    Entry* x = storage->child;
    bool goLeft = false;
    while (x) {
        y = x;
        goLeft = compareNames(z->name, x->name) < 0;
        x = goLeft ? x->left : x->right;
    }
    z->parent = y;
    z->left = z->right = nullptr;
    z->red = true;
    z->owner = storage;
    touched.push_back(z);
    if (!y) {
        storage->child = z;
        touched.push_back(storage);
    } else {
        (goLeft ? y->left : y->right) = z;
        touched.push_back(y);
    }

    while (isRed(z->parent)) {
        Entry* p = z->parent;
        Entry* g = p->parent;
        if (!g)
            break;
        if (p == g->left) {
            Entry* u = g->right;
            if (isRed(u)) {
                setRed(p, false, touched);
                setRed(u, false, touched);
                setRed(g, true, touched);
                z = g;
            } else {
                if (z == p->right) {
                    z = p;
                    rotateLeft(storage, z, touched);
                    p = z->parent;
                }
                setRed(p, false, touched);
                setRed(g, true, touched);
                rotateRight(storage, g, touched);
            }
        } else {
            Entry* u = g->left;
            if (isRed(u)) {
                setRed(p, false, touched);
                setRed(u, false, touched);
                setRed(g, true, touched);
                z = g;
            } else {
                if (z == p->left) {
                    z = p;
                    rotateRight(storage, z, touched);
                    p = z->parent;
                }
                setRed(p, false, touched);
                setRed(g, true, touched);
                rotateLeft(storage, g, touched);
            }
        }
    }
    setRed(storage->child, false, touched);
    if (!storage->sound)
        rebuild(storage, touched);
}

void erase(Entry* storage, Entry* z, std::vector<Entry*>& touched)
{
    Entry* x = nullptr;
    Entry* xParent = nullptr;
    bool removedRed = z->red;
    if (!z->left || !z->right) {
        x = z->left ? z->left : z->right;
        xParent = z->parent;
        replaceChild(storage, z, x, touched);
    } else {
        Entry* y = z->right;
        while (y->left)
            y = y->left;
        removedRed = y->red;
        x = y->right;
        if (y->parent == z) {
            xParent = y;
        } else {
            xParent = y->parent;
            replaceChild(storage, y, y->right, touched);
            y->right = z->right;
            y->right->parent = y;
        }
        replaceChild(storage, z, y, touched);
        y->left = z->left;
        y->left->parent = y;
        touched.push_back(y);
        setRed(y, z->red, touched);
    }
    z->left = z->right = z->parent = nullptr;

    if (!removedRed) {
        // Restore the black heights; a tree whose colours were wrong on disk
        // cannot make this fail, it only stays less balanced.
        while (x != storage->child && !isRed(x)) {
            if (!xParent)
                break;
            if (x == xParent->left) {
                Entry* w = xParent->right;
                if (isRed(w)) {
                    setRed(w, false, touched);
                    setRed(xParent, true, touched);
                    rotateLeft(storage, xParent, touched);
                    w = xParent->right;
                }
                if (!w) {
                    x = xParent;
                    xParent = x->parent;
                    continue;
                }
                if (!isRed(w->left) && !isRed(w->right)) {
                    setRed(w, true, touched);
                    x = xParent;
                    xParent = x->parent;
                } else {
                    if (!isRed(w->right)) {
                        setRed(w->left, false, touched);
                        setRed(w, true, touched);
                        rotateRight(storage, w, touched);
                        w = xParent->right;
                    }
                    setRed(w, xParent->red, touched);
                    setRed(xParent, false, touched);
                    setRed(w->right, false, touched);
                    rotateLeft(storage, xParent, touched);
                    x = storage->child;
                    xParent = nullptr;
                }
            } else {
                Entry* w = xParent->left;
                if (isRed(w)) {
                    setRed(w, false, touched);
                    setRed(xParent, true, touched);
                    rotateRight(storage, xParent, touched);
                    w = xParent->left;
                }
                if (!w) {
                    x = xParent;
                    xParent = x->parent;
                    continue;
                }
                if (!isRed(w->left) && !isRed(w->right)) {
                    setRed(w, true, touched);
                    x = xParent;
                    xParent = x->parent;
                } else {
                    if (!isRed(w->left)) {
                        setRed(w->right, false, touched);
                        setRed(w, true, touched);
                        rotateLeft(storage, w, touched);
                        w = xParent->left;
                    }
                    setRed(w, xParent->red, touched);
                    setRed(xParent, false, touched);
                    setRed(w->left, false, touched);
                    rotateRight(storage, xParent, touched);
                    x = storage->child;
                    xParent = nullptr;
                }
            }
        }
        setRed(x, false, touched);
    }
    if (!storage->sound)
        rebuild(storage, touched);
}

} // namespace tree

namespace {

bool linksChanged(const Entry* e)
{
    if (!e->onDisk)
        return true;
    if (slotOf(e->left) != e->diskLeft || slotOf(e->right) != e->diskRight)
        return true;
    return e->isStorage() && slotOf(e->child) != e->diskChild;
}

// The entry above `e`: its tree parent, or the storage at the top.
Entry* above(const Entry* e) { return e->parent ? e->parent : e->owner; }

} // namespace

TreePlan planTreeChange(const std::vector<Entry*>& touched)
{
    TreePlan plan;
    std::vector<Entry*> dirty;
    std::unordered_set<Entry*> seen;
    for (Entry* e : touched)
        if (e->live && seen.insert(e).second && linksChanged(e))
            dirty.push_back(e);

    std::unordered_set<Entry*> relocated;
    if (!dirty.empty()) {
        // The lowest entry above or at every changed one: writing it in place
        // is what switches trees. Everything changed below it moves to fresh
        // slots first.
        std::vector<Entry*> ref;
        for (Entry* e = dirty[0]; e; e = above(e))
            ref.push_back(e);
        std::unordered_map<Entry*, size_t> pos;
        for (size_t i = 0; i < ref.size(); ++i)
            pos[ref[i]] = i;
        size_t top = 0;
        for (Entry* d : dirty) {
            for (Entry* e = d; e; e = above(e)) {
                auto it = pos.find(e);
                if (it != pos.end()) {
                    top = std::max(top, it->second);
                    break;
                }
            }
        }
        while (top + 1 < ref.size() && !ref[top]->onDisk)
            ++top;
        Entry* commit = ref[top];
        plan.commit = commit;
        for (Entry* d : dirty) {
            for (Entry* e = d; e && e != commit; e = above(e)) {
                if (relocated.insert(e).second)
                    plan.relocate.push_back(e);
            }
        }
    }
    for (Entry* e : seen) {
        if (e != plan.commit && !relocated.count(e) && e->onDisk && e->red != e->diskRed)
            plan.recolor.push_back(e);
    }
    std::sort(plan.recolor.begin(), plan.recolor.end(), [](const Entry* a, const Entry* b) { return a->slot < b->slot; });
    return plan;
}

} // namespace volm::cfb
