#include "batch/worker.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "batch/drawingfile.h"
#include "batch/files.h"
#include "batch/system.h"
#include "batch/workerlink.h"
#include "platform/sha256.h"

namespace quorvel::batch {

namespace fs = std::filesystem;
using platform::sha256Hex;
using Clock = WorkerClock;

namespace {

// Numbers and length-prefixed strings, in the byte order of this machine: both ends are the
// same program.
class MessageWriter {
public:
    void number(std::uint64_t value) {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        out_.append(bytes, sizeof value);
    }
    void text(const std::string& value) {
        number(value.size());
        out_ += value;
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

class MessageReader {
public:
    explicit MessageReader(const std::string& in) : in_(in) {}
    std::uint64_t number() {
        std::uint64_t value = 0;
        if (in_.size() - at_ < sizeof value)
            throw FileError("工作进程的消息不完整");
        std::memcpy(&value, in_.data() + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    std::string text() {
        const std::uint64_t size = number();
        if (in_.size() - at_ < size)
            throw FileError("工作进程的消息不完整");
        at_ += size;
        return in_.substr(at_ - size, size);
    }

private:
    const std::string& in_;
    std::size_t at_ = 0;
};

// The options a worker needs, in the first message.
std::string setupMessage(const Options& options) {
    MessageWriter out;
    const std::vector<std::string> arguments = editingArguments(options);
    out.number(arguments.size());
    for (const std::string& argument : arguments)
        out.text(argument);
    out.number(options.pairs.size());
    for (const Pair& pair : options.pairs) {
        for (const std::u16string* text : {&pair.find, &pair.replace})
            out.text(std::string(reinterpret_cast<const char*>(text->data()), text->size() * 2));
    }
    out.number(options.dryRun ? 1 : 0);
    out.number(options.reportFile.empty() ? 0 : reportHasPictures(options) ? 2 : 1);
    return out.take();
}

Options readSetup(const std::string& message) {
    MessageReader in(message);
    std::vector<std::string> arguments(in.number());
    for (std::string& argument : arguments)
        argument = in.text();
    Options options = parseEditingArguments(arguments);
    options.pairs.resize(in.number());
    for (Pair& pair : options.pairs) {
        for (std::u16string* text : {&pair.find, &pair.replace}) {
            const std::string bytes = in.text();
            text->resize(bytes.size() / 2);
            std::memcpy(text->data(), bytes.data(), text->size() * 2);
        }
    }
    options.dryRun = in.number() != 0;
    const std::uint64_t report = in.number();
    options.reportFile = report == 0 ? "" : report == 2 ? "report.html" : "report.csv";
    return options;
}

// The answer to a job: a first message with the outcome, then one with the edited bytes.
EditedDrawing readAnswer(const std::string& message, std::string& checksum) {
    MessageReader in(message);
    if (in.number() == 0)
        throw FileError(in.text());
    EditedDrawing edited;
    edited.texts = in.number();
    edited.undisplayable = in.number();
    edited.rows.resize(in.number());
    for (ReportRow& row : edited.rows) {
        for (std::string* field : {&row.handle, &row.space, &row.layer, &row.kind, &row.oldText,
                                   &row.newText, &row.undisplayable, &row.before, &row.after})
            *field = in.text();
    }
    edited.unchanged.resize(in.number());
    for (std::string& note : edited.unchanged)
        note = in.text();
    Unreached& unreached = edited.unreached;
    for (std::size_t* number : {&unreached.proxies, &unreached.oleObjects, &unreached.fieldTexts,
                                &unreached.anonymousBlockTexts})
        *number = in.number();
    unreached.externalReferences.resize(in.number());
    for (ExternalReference& reference : unreached.externalReferences) {
        reference.block = in.text();
        reference.path = in.text();
    }
    edited.pictures.resize(in.number());
    for (SpacePicture& picture : edited.pictures) {
        picture.space = in.text();
        picture.svg = in.text();
    }
    checksum = in.text();
    return edited;
}

std::string answerMessage(const EditedDrawing& edited, const std::string& checksum) {
    MessageWriter out;
    out.number(1);
    out.number(edited.texts);
    out.number(edited.undisplayable);
    out.number(edited.rows.size());
    for (const ReportRow& row : edited.rows) {
        for (const std::string* field :
             {&row.handle, &row.space, &row.layer, &row.kind, &row.oldText, &row.newText,
              &row.undisplayable, &row.before, &row.after})
            out.text(*field);
    }
    out.number(edited.unchanged.size());
    for (const std::string& note : edited.unchanged)
        out.text(note);
    const Unreached& unreached = edited.unreached;
    for (const std::size_t number : {unreached.proxies, unreached.oleObjects, unreached.fieldTexts,
                                     unreached.anonymousBlockTexts})
        out.number(number);
    out.number(unreached.externalReferences.size());
    for (const ExternalReference& reference : unreached.externalReferences) {
        out.text(reference.block);
        out.text(reference.path);
    }
    out.number(edited.pictures.size());
    for (const SpacePicture& picture : edited.pictures) {
        out.text(picture.space);
        out.text(picture.svg);
    }
    out.text(checksum);
    return out.take();
}

// The test hook (see kWorkerFaultVariable).
void injectFault(const fs::path& drawing) {
    const std::string fault = sys::environmentText(kWorkerFaultVariable);
    if (fault.empty())
        return;
    const std::string wanted = "," + fault + ",";
    const std::string name = drawing.filename().string();
    if (wanted.find(",abort:" + name + ",") != std::string::npos)
        std::abort();
    if (wanted.find(",hang:" + name + ",") != std::string::npos) {
        while (true)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
}

}  // namespace

WorkerProcess::WorkerProcess(const Options& options)
    : setup_(setupMessage(options)), timeoutSeconds_(options.timeoutSeconds) {}

WorkerProcess::~WorkerProcess() = default;

EditedDrawing WorkerProcess::edit(DrawingFile& file) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds_);
    try {
        if (!link_) {
            link_ = std::make_unique<WorkerLink>(kWorkerArgument);
            link_->send(setup_, deadline);
        }
        MessageWriter job;
        job.text(file.path().string());
        link_->send(job.take(), deadline, file.descriptor());
        std::string checksum;
        EditedDrawing edited = readAnswer(link_->receive(deadline), checksum);
        edited.bytes = link_->receive(deadline);
        file.readElsewhere(checksum);
        return edited;
    } catch (const WorkerTimedOut&) {
        link_->stop(true);
        link_.reset();
        throw FileError("处理超过 " + std::to_string(timeoutSeconds_) +
                        " 秒（--timeout），工作进程已停止，图形未修改");
    } catch (const WorkerClosed&) {
        const std::string why = link_->stop(false);
        link_.reset();
        throw FileError(why + "，图形未修改");
    }
}

namespace {

// One job: the drawing read through the file lent with it, edited, answered.
void answerJob(RunLink& link, const Options& options) {
    int file = -1;
    const std::string job = link.receive(&file);
    MessageReader in(job);
    const fs::path drawing = sys::pathFromUtf8(in.text());
    injectFault(drawing);
    std::string answer;
    EditedDrawing edited;
    try {
        if (file < 0)
            throw FileError("工作进程没有收到图形文件");
        std::string bytes = readOpenFile(file, drawing.string());
        sys::closeHandle(file);
        file = -1;
        const std::string checksum = sha256Hex(bytes);
        edited = editDrawing(std::move(bytes), options);
        answer = answerMessage(edited, checksum);
    } catch (const std::exception& error) {
        if (file >= 0)
            sys::closeHandle(file);
        MessageWriter failed;
        failed.number(0);
        failed.text(error.what());
        link.send(failed.take());
        return;
    }
    link.send(answer);
    link.send(edited.bytes);
}

}  // namespace

int runWorker() {
    RunLink link;
    // A worker stuck in a drawing must not outlive a run that was killed.
    if (!link.runAlive())
        return 1;
    try {
        const Options options = readSetup(link.receive());
        while (true)
            answerJob(link, options);
    } catch (const WorkerClosed&) {
        return 0;  // the run closed its end: no more jobs
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quorvel-batch 工作进程：%s\n", error.what());
        return 1;
    }
}

}  // namespace quorvel::batch
