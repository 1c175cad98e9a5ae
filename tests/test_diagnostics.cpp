#include "diagnostics/Exception.h"
#include "diagnostics/FileLogListener.h"
#include "diagnostics/Logger.h"
#include "support/LogRecorder.h"
#include "support/TestFiles.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Tool;
namespace pt = boost::posix_time;

namespace {

pt::ptime at(int h, int m, int s, int us)
{
    return pt::ptime(boost::gregorian::date(2026, 1, 2),
                     pt::hours(h) + pt::minutes(m) + pt::seconds(s) + pt::microseconds(us));
}

} // namespace

TEST(FileLogListener, StampHasSixFractionalDigits)
{
    EXPECT_EQ(FileLogListener::timeStamp(at(9, 5, 3, 0)), "09:05:03.000000");
    EXPECT_EQ(FileLogListener::timeStamp(at(21, 4, 51, 123456)), "21:04:51.123456");
}

TEST(FileLogListener, WritesOneLineOrTwoWithDetails)
{
    {
        FileLogListener file("diag_lines.log");
        file.handle(Message("CQuorvaneApp", "Starting Quorvane v.0.5 ..", "", 1, at(21, 4, 51, 51213)));
        file.handle(Message("FlowData::load()", "Gridfile loaded .. [OK]", "a\nb", 3, at(0, 0, 1, 7)));
    }
    EXPECT_EQ(TestFiles::read("diag_lines.log"), "[21:04:51.051213] CQuorvaneApp: Starting Quorvane v.0.5 ..\n"
                                                 "[00:00:01.000007] FlowData::load(): Gridfile loaded .. [OK]\n"
                                                 "\tDetails: a\nb\n");
}

TEST(FileLogListener, TruncatesAnExistingFile)
{
    std::ofstream("diag_trunc.log") << "old run\n";
    {
        FileLogListener file("diag_trunc.log");
        file.handle(Message("S", "new", "", 1, at(1, 2, 3, 4)));
    }
    EXPECT_EQ(TestFiles::read("diag_trunc.log"), "[01:02:03.000004] S: new\n");
}

TEST(FileLogListener, UnopenableFileIsIgnored)
{
    FileLogListener file("no/such/folder/x.log");
    file.handle(Message("S", "t", "", 1));
    EXPECT_TRUE(file.stream.fail());
}

TEST(FileLogListener, PipeIsNotWrittenTo)
{
    ::unlink("diag_pipe.log");
    ASSERT_EQ(::mkfifo("diag_pipe.log", 0600), 0);
    const int reader = ::open("diag_pipe.log", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    FileLogListener file("diag_pipe.log");
    EXPECT_EQ(file.failure, "not a regular file");
    file.handle(Message("S", "t", "", 1));
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    ::unlink("diag_pipe.log");
}

// A stream buffer that refuses every byte while broken.
struct BreakableBuffer : std::stringbuf {
    bool broken = false;
    int_type overflow(int_type c) override { return broken ? traits_type::eof() : std::stringbuf::overflow(c); }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        return broken ? 0 : std::stringbuf::xsputn(s, n);
    }
};

TEST(LogListener, FailedConsoleWriteChangesNothing)
{
    BreakableBuffer buffer;
    std::streambuf* const previous = std::cout.rdbuf(&buffer);
    LogListener console;
    buffer.broken = true;
    console.handle(Message("S", "lost", "", 1));
    buffer.broken = false;
    console.handle(Message("S", "next", "", 1));
    std::cout.rdbuf(previous);
    EXPECT_EQ(buffer.str(), "* S: next\n");
}

TEST(LogListener, ConsoleFormatAndStreams)
{
    LogListener console;
    EXPECT_EQ(console.format(Message("S", "t", "", 1)), "* S: t");
    EXPECT_EQ(console.format(Message("S", "t", "d", 1)), "* S: t\n\td");

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    console.handle(Message("S", "out", "", 1));
    console.handle(Message("S", "err", "", 3));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "* S: err\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "* S: out\n");
}

TEST(Exception, ToMessageCarriesThrowSiteAndThrowTime)
{
    Exception caught("", "", "", 0);
    const pt::ptime before = Message::now();
    try {
        TOOL_THROW("FlowData::load()", "Couldn't open x.gri");
    } catch (const Exception& e) {
        caught = e;
    }
    const Message m = caught.toMessage();
    EXPECT_TRUE(std::regex_match(m.source, std::regex(R"(\*\* Exception: .*test_diagnostics\.cpp\(\d+\))")));
    EXPECT_EQ(m.text, "FlowData::load()");
    EXPECT_EQ(m.details, "Couldn't open x.gri");
    EXPECT_EQ(m.level, 1);
    EXPECT_EQ(m.time, caught.time);
    EXPECT_GE(m.time, before);

    const std::string line = FileLogListener("diag_exc.log").format(m);
    EXPECT_TRUE(std::regex_match(
        line,
        std::regex(
            R"(\[\d\d:\d\d:\d\d\.\d{6}\] \*\* Exception: .*\(\d+\): FlowData::load\(\)\n\tDetails: Couldn't open x\.gri)")));
}

TEST(Message, KeepsConstructionTime)
{
    const Message m("S", "t", "", 1, at(3, 0, 0, 0));
    Message copy;
    copy = m;
    EXPECT_EQ(copy.time, at(3, 0, 0, 0));
    EXPECT_EQ(Message().level, 0);
}

// The logger is a process-wide single instance, so its rules are checked in
// one sequence: disabled, enabled, duplicate and replayed listeners.
TEST(Logger, EnableReplayAndDuplicateRules)
{
    Logger& logger = Logger::instance();
    ASSERT_EQ(&logger, &Logger::instance());
    ASSERT_FALSE(logger.enabled);

    LogRecorder first;
    EXPECT_TRUE(logger.addListener(&first, true));
    log("S", "before enable");
    EXPECT_TRUE(logger.history.empty());
    EXPECT_TRUE(first.texts().empty());

    logger.enabled = true;
    log("S", "one");
    EXPECT_FALSE(logger.addListener(&first, true));
    log("S", "two");
    EXPECT_EQ(first.texts(), (std::vector<std::string>{"one", "two"}));

    LogRecorder late;
    EXPECT_TRUE(logger.addListener(&late, true));
    log("S", "three");
    EXPECT_EQ(late.texts(), (std::vector<std::string>{"one", "two", "three"}));

    LogRecorder noReplay;
    EXPECT_TRUE(logger.addListener(&noReplay, false));
    log("S", "four");
    EXPECT_EQ(noReplay.texts(), (std::vector<std::string>{"four"}));
    EXPECT_EQ(logger.history.size(), 4u);
}

TEST(Logger, ListenersInRegistrationOrderAndReplayWhileDisabled)
{
    Logger& logger = Logger::instance();
    const bool wasEnabled = logger.enabled;
    logger.listeners.clear(); // earlier tests' listeners are gone
    std::vector<std::string> calls;
    struct Named : LogListener {
        std::string name;
        std::vector<std::string>* calls;
        void handle(const Message&) override { calls->push_back(name); }
    };
    Named c, a, b, late;
    c.name = "c", a.name = "a", b.name = "b", late.name = "late";
    for (Named* listener : {&c, &a, &b, &late}) {
        listener->calls = &calls;
    }
    logger.addListener(&c, false);
    logger.addListener(&a, false);
    logger.addListener(&b, false);
    logger.enabled = true;
    log("S", "ordered");
    EXPECT_EQ(calls, (std::vector<std::string>{"c", "a", "b"}));

    logger.enabled = false;
    calls.clear();
    logger.addListener(&late, true);
    EXPECT_EQ(calls, std::vector<std::string>(logger.history.size(), "late"));
    logger.listeners.clear();
    logger.enabled = wasEnabled;
}
