#include "storage/Componounddoc.h"

#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "storage/Cfbfile.h"

#include <unistd.h>

namespace volm {
namespace {

// Names of the project are Windows-1251; the container's are UTF-16. A name
// another program gave an element with characters Windows-1251 lacks is read
// with "?" in their place.
std::u16string toContainer(const std::string& name) { return decode(CodePage::Cp1251, name); }
std::string fromContainer(const std::u16string& name) { return TAnsiWriter(TAnsiFallback::Question)(name); }

// The program's byte stream over one open stream of the compound file.
class DocStreamAdapter : public TStream {
public:
    explicit DocStreamAdapter(std::shared_ptr<cfb::StreamEntry> s) : s_(std::move(s)) {}

    size_t Read(void* buffer, size_t count) override
    {
        size_t n = s_->read(pos_, buffer, count);
        pos_ += n;
        return n;
    }
    size_t Write(const void* buffer, size_t count) override
    {
        s_->write(pos_, buffer, count);
        pos_ += count;
        return count;
    }
    uint64_t Seek(int64_t offset, TSeekOrigin origin) override
    {
        int64_t base = origin == soBeginning ? 0
                       : origin == soCurrent ? static_cast<int64_t>(pos_)
                                             : static_cast<int64_t>(s_->size());
        if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset))
            throw EStorageError(STG_E_INVALIDFUNCTION, s_->file().path() + ": stream \"" + utf16ToUtf8(s_->name()) +
                                                           "\": seek outside the stream [0x80030001]");
        pos_ = static_cast<uint64_t>(base + offset);
        return pos_;
    }
    uint64_t Size() override { return s_->size(); }
    void SetSize(uint64_t newSize) override { s_->resize(newSize); }

private:
    std::shared_ptr<cfb::StreamEntry> s_;
    uint64_t pos_ = 0;
};

} // namespace

TDocStream::TDocStream() = default;

TDocStream::~TDocStream()
{
    Close();
}

TStream* TDocStream::Stream() const
{
    return adapter_.get();
}

void TDocStream::Close()
{
    if (stream_) {
        try {
            stream_->commit(); // direct mode: nothing is pending; not checked
        } catch (...) {
        }
    }
    adapter_.reset();
    stream_.reset();
}

void TDocStream::Attach(std::shared_ptr<cfb::StreamEntry> stream)
{
    Close();
    stream_ = std::move(stream);
    if (stream_)
        adapter_ = std::make_unique<DocStreamAdapter>(stream_);
}

TComponoundDocument::TComponoundDocument(const std::string& fileName, uint32_t mode)
{
    if (fileName.empty())
        mode |= STGM_DELETEONRELEASE;
    bool writing = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
    if (fileName.empty()) {
        file_ = cfb::CompoundFile::createTemporary();
    } else if (!writing) {
        // Reading only (shared lock): never creates, never writes; a file
        // that is missing or not a compound file is refused as it is.
        file_ = cfb::CompoundFile::open(fileName, cfb::CompoundFile::Access::ReadOnly);
    } else if (cfb::CompoundFile::isCompoundFile(fileName) ||
               (::access(fileName.c_str(), F_OK) == 0 && ::access(fileName.c_str(), R_OK) != 0)) {
        // An existing compound file (or one we may not read, which the open
        // reports as such).
        file_ = cfb::CompoundFile::open(fileName, writing ? cfb::CompoundFile::Access::ReadWrite
                                                          : cfb::CompoundFile::Access::ReadOnly);
    } else {
        // Without STGM_CREATE an existing file (not a compound one) is refused
        // and left as it is; with it, it is replaced.
        file_ = cfb::CompoundFile::create(fileName, (mode & STGM_CREATE) != 0);
    }
    if (mode & STGM_DELETEONRELEASE)
        file_->setDeleteOnRelease(true);
}

TComponoundDocument::~TComponoundDocument() = default;

void TComponoundDocument::EnumElements(std::list<TDocElem>& list)
{
    list.clear();
    std::vector<cfb::ElementInfo> elements = file_->list();
    for (const cfb::ElementInfo& info : elements) {
        try {
            TDocElem elem;
            elem.type = info.type == cfb::kTypeStream ? STGTY_STREAM : STGTY_STORAGE;
            elem.name = fromContainer(info.name);
            elem.size = info.size;
            elem.clsid = info.clsid;
            list.push_back(std::move(elem));
        } catch (...) {
            break; // what was appended so far stays
        }
    }
}

void TComponoundDocument::OpenStream(TDocStream& target, const std::string& name, uint32_t mode)
{
    (void)(mode | STGM_SHARE_EXCLUSIVE);
    target.Attach(file_->openStream(toContainer(name)));
}

void TComponoundDocument::CreateStream(TDocStream& target, const std::string& name, uint32_t mode)
{
    target.Attach(file_->createStream(toContainer(name), (mode & STGM_CREATE) != 0));
}

void TComponoundDocument::CreateStream(TDocStream& target, const std::string& name, std::string_view content)
{
    target.Attach(file_->createStreamWith(toContainer(name), content));
}

void TComponoundDocument::DestroyElement(const std::string& name)
{
    file_->destroy(toContainer(name));
}

void TComponoundDocument::RenameElements(const std::vector<std::pair<std::string, std::string>>& renames)
{
    std::vector<std::pair<std::u16string, std::u16string>> names;
    names.reserve(renames.size());
    for (const auto& [from, to] : renames)
        names.emplace_back(toContainer(from), toContainer(to));
    file_->rename(names);
}

void TComponoundDocument::Commit()
{
    file_->commit();
}

void TComponoundDocument::Flush()
{
    file_->flush();
}

} // namespace volm
