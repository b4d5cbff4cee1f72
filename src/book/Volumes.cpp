#include "book/Volumes.h"

#include "archive/Zipwriter.h"
#include "book/Manifest.h"

#include <algorithm>
#include <functional>

namespace volm {

namespace {

// Raw bytes a line adds to a list file can cost a little more than themselves
// once deflated (a block boundary moves): a few bytes of slack per list.
constexpr uint64_t kListSlack = 8;

// Cut positions further than this many times the room from the start of a
// part are not looked at: no text shrinks that much.
constexpr uint64_t kMaxRatio = 64;

// Slack for the smallest budget: the small members of a real volume (its
// manifest, topics.txt, files.txt) may pack a few bytes worse than those of
// the volume it is measured on.
constexpr uint64_t kSmallSlack = 32;

size_t digits(uint64_t n)
{
    return std::to_string(n).size();
}

class TPlanner {
public:
    TPlanner(TBookJars& jars, std::string book, uint64_t budget)
        : jars_(jars), book_(std::move(book)), budget_(budget)
    {
    }

    std::vector<TJarSpec> Run();

private:
    TJarSpec fresh(size_t k) const
    {
        TJarSpec s;
        s.midletName = VolumeName(book_, k);
        s.fileName = VolumeFileName(book_, k);
        s.next = VolumeName(book_, k + 1);
        return s;
    }
    bool fitsExact(const TJarSpec& s) { return jars_.Size(s) <= budget_; }
    // What an entry adds to a jar, at most: its text's members and its lines
    // in topics.txt, files.txt and layout.txt.
    uint64_t growth(const TJarEntry& e, size_t number);
    bool tryWhole(size_t topic);
    void close(bool last);
    void rewindTo(const TJarEntry& e);
    // The largest cut among `count` ascending candidates (cut(k) > pos) such
    // that the part [pos, cut) fits into the current volume; 0 for none.
    uint64_t largestCut(size_t topic, unsigned part, uint64_t pos, size_t count,
                        const std::function<uint64_t(size_t)>& cut);
    uint64_t splitCut(size_t topic, unsigned part, uint64_t pos, bool inside);

    TBookJars& jars_;
    std::string book_;
    uint64_t budget_;
    std::vector<TJarSpec> done_;
    TJarSpec cur_;
    uint64_t estimate_ = 0;   // at least the size of cur_, from an exact size plus growths
    size_t topic_ = 0;
    uint64_t pos_ = 0;
    unsigned part_ = 0;
};

uint64_t TPlanner::growth(const TJarEntry& e, size_t number)
{
    uint64_t g = jars_.TextCost(e, number); // every piece's member
    g += TextModeLine(jars_.Id(e.topic)).size() + 1 + kListSlack;
    g += TextModeLine(jars_.Title(e)).size() + kListSlack;
    g += TextModeLine("/texts/itm" + std::to_string(number)).size() + kListSlack;
    g += digits(e.part == 0 ? jars_.TextSize(e.topic) : e.end - e.begin) + 2 + kListSlack;
    return g;
}

bool TPlanner::tryWhole(size_t topic)
{
    TJarEntry e{topic, 0, 0, jars_.TextSize(topic)};
    const uint64_t g = growth(e, cur_.entries.size() + 1);
    cur_.entries.push_back(e);
    // Measured exactly only near the budget (and for a volume's first topic).
    if (cur_.entries.size() > 1 && estimate_ + g <= budget_) {
        estimate_ += g;
        return true;
    }
    const uint64_t exact = jars_.Size(cur_);
    if (exact <= budget_) {
        estimate_ = exact;
        return true;
    }
    cur_.entries.pop_back();
    return false;
}

void TPlanner::rewindTo(const TJarEntry& e)
{
    topic_ = e.topic;
    pos_ = e.begin;
    part_ = e.part == 0 ? 0 : e.part - 1;
    if (e.part != 0)
        jars_.ForgetPart(e);
}

void TPlanner::close(bool last)
{
    cur_.next = last ? std::string() : VolumeName(book_, done_.size() + 2);
    while (jars_.Size(cur_) > budget_ && cur_.entries.size() > 1) {
        rewindTo(cur_.entries.back());
        cur_.entries.pop_back();
        cur_.next = VolumeName(book_, done_.size() + 2);
    }
    done_.push_back(cur_);
    cur_ = fresh(done_.size() + 1);
    estimate_ = 0;
}

uint64_t TPlanner::largestCut(size_t topic, unsigned part, uint64_t pos, size_t count,
                              const std::function<uint64_t(size_t)>& cut)
{
    if (count == 0)
        return 0;
    std::vector<TJarEntry> tried;
    auto fits = [&](size_t k) {
        TJarEntry e{topic, part, pos, cut(k)};
        tried.push_back(e);
        cur_.entries.push_back(e);
        const bool ok = fitsExact(cur_);
        cur_.entries.pop_back();
        return ok;
    };

    // Where to start: the room left, over the topic's packing ratio.
    TJarEntry none{topic, part, pos, pos};
    cur_.entries.push_back(none);
    const uint64_t base = jars_.Size(cur_);
    cur_.entries.pop_back();
    jars_.ForgetPart(none);
    if (base > budget_)
        return 0;
    const uint64_t text = std::max<uint64_t>(1, jars_.TextSize(topic));
    const uint64_t packed = std::max<uint64_t>(1, jars_.PackedSize(topic).value_or(text / 2));
    const uint64_t guessLen = (budget_ - base) * text / packed;
    size_t lo = 0, hi = count; // cut(lo - 1) fits (lo == 0: none known), cut(hi) does not (hi == count: none known)
    size_t g = 0;
    {
        // The last candidate within the guess (binary search over the candidates).
        size_t a = 0, b = count;
        while (a < b) {
            size_t m = a + (b - a) / 2;
            if (cut(m) - pos <= guessLen)
                a = m + 1;
            else
                b = m;
        }
        g = a == 0 ? 0 : a - 1;
    }
    // Gallop from the guess to bracket the answer, then halve.
    if (fits(g)) {
        lo = g + 1;
        for (size_t step = 1; lo < count; step *= 2) {
            size_t k = std::min(count - 1, lo - 1 + step);
            if (fits(k)) {
                lo = k + 1;
            } else {
                hi = k;
                break;
            }
        }
    } else {
        hi = g;
        for (size_t step = 1; hi > 0; step *= 2) {
            size_t k = hi >= step ? hi - step : 0;
            if (fits(k)) {
                lo = k + 1;
                break;
            }
            hi = k;
            if (k == 0)
                break;
        }
    }
    while (lo < hi) {
        size_t m = lo + (hi - lo) / 2;
        if (fits(m))
            lo = m + 1;
        else
            hi = m;
    }
    const uint64_t best = lo == 0 ? 0 : cut(lo - 1);
    for (const TJarEntry& e : tried)
        if (e.end != best)
            jars_.ForgetPart(e);
    return best;
}

uint64_t TPlanner::splitCut(size_t topic, unsigned part, uint64_t pos, bool inside)
{
    const std::string& text = jars_.Text(topic);
    const uint64_t end = text.size();
    // Cuts past this can't fit however well the text packs.
    const uint64_t window = std::min<uint64_t>(end, pos + budget_ * kMaxRatio + 4096);
    std::vector<uint64_t> cuts;
    if (!inside) {
        // After each paragraph (a line end), and at the end of the text.
        for (uint64_t p = pos; p < window; ++p)
            if (text[p] == '\n')
                cuts.push_back(p + 1);
        if (window == end && (cuts.empty() || cuts.back() != end))
            cuts.push_back(end);
        return largestCut(topic, part, pos, cuts.size(), [&](size_t k) { return cuts[k]; });
    }
    // Inside the first paragraph: after a blank, else after any byte.
    uint64_t para = text.find('\n', pos);
    para = para == std::string::npos ? end : para + 1;
    para = std::min(para, window);
    for (uint64_t p = pos; p < para; ++p)
        if (text[p] == ' ')
            cuts.push_back(p + 1);
    if (uint64_t c = largestCut(topic, part, pos, cuts.size(), [&](size_t k) { return cuts[k]; }))
        return c;
    return largestCut(topic, part, pos, static_cast<size_t>(para - pos),
                      [pos](size_t k) { return pos + 1 + k; });
}

std::vector<TJarSpec> TPlanner::Run()
{
    const size_t n = jars_.TopicCount();
    cur_ = fresh(1);
    for (;;) {
        if (topic_ == n) {
            close(true);
            if (topic_ == n)
                break;
            continue;
        }
        if (pos_ == 0) {
            if (tryWhole(topic_)) {
                ++topic_;
                continue;
            }
            if (!cur_.entries.empty()) {
                // Whole in a volume of its own, if it fits one.
                TJarSpec alone = fresh(done_.size() + 2);
                alone.entries.push_back({topic_, 0, 0, jars_.TextSize(topic_)});
                if (fitsExact(alone)) {
                    close(false);
                    continue;
                }
            }
            part_ = 0;
        }
        // Too large for any volume: a part, as large as the room allows.
        const uint64_t size = jars_.TextSize(topic_);
        uint64_t cut = splitCut(topic_, part_ + 1, pos_, false);
        if (cut == 0) {
            if (!cur_.entries.empty()) {
                close(false);
                continue;
            }
            cut = splitCut(topic_, part_ + 1, pos_, true);
            if (cut == 0)
                throw Error("The jar budget of " + std::to_string(budget_) +
                            " bytes can't hold the reader and a part of topic " + std::to_string(topic_ + 1) +
                            ": the smallest possible budget is " +
                            std::to_string(SmallestBudget(jars_, book_)) + " bytes");
        }
        ++part_;
        TJarEntry e{topic_, part_, pos_, cut};
        if (part_ == 1 && cut == size) {
            e = {topic_, 0, 0, size}; // it all fitted after all
            jars_.ForgetPart({topic_, 1, 0, size});
        } else {
            jars_.PartPackedSize(e, true);
        }
        cur_.entries.push_back(e);
        estimate_ = jars_.Size(cur_);
        pos_ = cut;
        if (pos_ >= size) {
            ++topic_;
            pos_ = 0;
            part_ = 0;
        }
    }
    return done_;
}

} // namespace

std::string VolumeName(const std::string& bookName, size_t k)
{
    const std::string number = std::to_string(k);
    std::string name = CutAtCharacter(bookName, kMidletNameMax - 1 - number.size());
    name += ' ';
    name += number;
    return name;
}

std::string VolumeFileName(const std::string& bookName, size_t k)
{
    return bookName + "-" + std::to_string(k);
}

uint64_t SmallestBudget(TBookJars& jars, const std::string& bookName)
{
    const size_t n = jars.TopicCount();
    if (n == 0)
        return 0;
    uint64_t bytes = n;
    size_t longest = 0;
    for (size_t i = 0; i < n; ++i) {
        bytes += jars.TextSize(i);
        if (TitleLine(jars.Name(i)).size() > TitleLine(jars.Name(longest)).size())
            longest = i;
    }
    // The widest numbers a volume of this book can carry: there are no more
    // volumes, nor parts of a topic, than bytes of text and topics. Their
    // digits do not repeat, so that they pack no better than real ones.
    std::string wide;
    for (size_t i = 0; i < digits(bytes); ++i)
        wide += static_cast<char>('1' + i % 9);
    TJarSpec s;
    s.midletName = bookName + " " + wide;
    s.fileName = bookName + "-" + wide;
    s.next = s.midletName;
    TJarEntry e{longest, static_cast<unsigned>(std::stoul(wide.substr(0, 9))), 0,
                std::min<uint64_t>(1, jars.TextSize(longest))};
    s.entries.push_back(e);
    const uint64_t size = jars.Size(s);
    jars.ForgetPart(e);
    // The small members of a real volume may pack a few bytes worse.
    return size + kSmallSlack;
}

std::vector<TJarSpec> PlanVolumes(TBookJars& jars, const std::string& bookName, uint64_t budget)
{
    return TPlanner(jars, bookName, budget).Run();
}

} // namespace volm
