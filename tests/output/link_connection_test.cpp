// The live link against a board speaking the protocol on a real pseudo-terminal: what goes
// over the line when frames come faster than the board shows them, when answers are lost
// or refused, when the board restarts, and when it goes away.
#include "output/serial/link_connection.h"
#include "support/fake_board.h"

#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

namespace pixelcast {
namespace {

using link::MessageType;
using test::FakeBoard;
using Received = FakeBoard::Received;

// A 128 x 64 frame in the board's order whose bytes depend on `seed`.
DisplayArray frameOf(int seed)
{
    DisplayArray frame(DisplayFormat{DisplaySize{128, 64}, &pagesLayout()});
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>((i * 13 + static_cast<std::size_t>(seed)) & 0xFF);
    }
    return frame;
}

// `frame` with one byte changed.
DisplayArray touched(DisplayArray frame, std::size_t at)
{
    frame[at] = static_cast<std::uint8_t>(frame[at] ^ 0x5A);
    return frame;
}

link::Bytes bytesOf(const DisplayArray& frame)
{
    return {frame.bytes().begin(), frame.bytes().end()};
}

class LiveLinkConnection : public testing::Test {
protected:
    void SetUp() override
    {
        m_link.connected = [this](const BoardFacts& facts) {
            m_connected.push_back(facts);
        };
        m_link.shown = [this](const LinkProgress& progress) {
            m_shown.push_back(progress);
        };
        m_link.ended = [this](const Error& error) {
            m_ended.push_back(error);
        };
        m_link.frameRefused = [this](const Error& error) {
            m_refused.push_back(error);
        };
    }

    void goLive()
    {
        m_link.open(1);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !m_connected.empty(); }));
        ASSERT_TRUE(m_link.isLive());
    }

    // Shows `frame` and waits until the board shows it and the link has heard so.
    [[nodiscard]] bool showAndWait(const DisplayArray& frame)
    {
        m_shown.clear();
        m_link.show(frame);
        return QTest::qWaitFor([&] {
            return !m_shown.empty() && m_shown.back().upToDate &&
                   m_board.memory() == bytesOf(frame);
        });
    }

    // The FRAMEs and DELTAs the board read, in order, a message sent again after a slow
    // answer counted once.
    [[nodiscard]] std::vector<Received> frames() const
    {
        std::vector<Received> frames;
        for (const Received& received : m_board.received()) {
            if (received.type != MessageType::Hello &&
                (frames.empty() || frames.back() != received)) {
                frames.push_back(received);
            }
        }
        return frames;
    }

    FakeBoard m_board;
    LinkConnection m_link{std::make_unique<ListedPortDirectory>(QStringList{m_board.devicePath()})};
    std::vector<BoardFacts> m_connected;
    std::vector<LinkProgress> m_shown;
    std::vector<Error> m_ended;
    std::vector<Error> m_refused;
};

TEST_F(LiveLinkConnection, SendsAWholeFrameFirstThenDeltas)
{
    goLive();
    EXPECT_EQ(m_connected.front().size, (DisplaySize{128, 64}));
    EXPECT_EQ(m_connected.front().controllerName(), QStringLiteral("SSD1306"));
    ASSERT_TRUE(showAndWait(frameOf(1)));
    ASSERT_TRUE(showAndWait(touched(frameOf(1), 700)));
    // The same picture again goes nowhere, and still counts as shown.
    ASSERT_TRUE(showAndWait(touched(frameOf(1), 700)));
    EXPECT_EQ(frames(), (std::vector<Received>{{MessageType::Frame, 1}, {MessageType::Delta, 2}}));
}

TEST_F(LiveLinkConnection, SendsOnlyTheNewestOfFramesThatCameWhileOneWasOnItsWay)
{
    goLive();
    m_board.holdAnswers();
    m_link.show(frameOf(1));
    ASSERT_TRUE(
        m_board.waitUntil([](const FakeBoard& board) { return !board.received().empty(); }));
    for (int seed = 2; seed <= 9; ++seed) {
        m_link.show(frameOf(seed));
    }
    m_board.releaseAnswers();
    ASSERT_TRUE(QTest::qWaitFor([this] {
        return !m_shown.empty() && m_shown.back().upToDate &&
               m_board.memory() == bytesOf(frameOf(9));
    }));
    // Frame 1 may have gone again while its answer was held; frames 2 to 8 never went.
    for (const Received& received : frames()) {
        EXPECT_TRUE(received.seq == 1 || received.seq == 2) << received.seq;
    }
}

TEST_F(LiveLinkConnection, SendsAMessageAgainWhenItsAnswerIsLost)
{
    goLive();
    m_board.loseAnswers(1);
    ASSERT_TRUE(showAndWait(frameOf(1)));
    EXPECT_EQ(m_shown.size(), 1U);
    ASSERT_TRUE(showAndWait(touched(frameOf(1), 3)));
    const std::vector<Received> received = m_board.received();
    EXPECT_GE(std::ranges::count(received, Received{MessageType::Frame, 1}), 2);
    EXPECT_EQ(frames(), (std::vector<Received>{{MessageType::Frame, 1}, {MessageType::Delta, 2}}));
}

TEST_F(LiveLinkConnection, SendsTheFrameWholeWhenTheBoardRefusesTheBase)
{
    goLive();
    ASSERT_TRUE(showAndWait(frameOf(1)));
    m_board.refuseNext(link::RefusalReason::WrongBase);
    ASSERT_TRUE(showAndWait(touched(frameOf(1), 3)));
    EXPECT_EQ(frames(),
              (std::vector<Received>{
                  {MessageType::Frame, 1}, {MessageType::Delta, 2}, {MessageType::Frame, 3}}));
}

TEST_F(LiveLinkConnection, SendsTheFrameWholeAfterTheBoardRestarted)
{
    goLive();
    ASSERT_TRUE(showAndWait(frameOf(1)));
    m_board.restart();
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_connected.size() == 2; }));
    ASSERT_TRUE(showAndWait(touched(frameOf(1), 3)));
    EXPECT_EQ(frames(), (std::vector<Received>{{MessageType::Frame, 1}, {MessageType::Frame, 2}}));
}

TEST_F(LiveLinkConnection, RefusesAFrameOfAnotherSizeAndStaysLive)
{
    goLive();
    m_link.show(DisplayArray(DisplayFormat{DisplaySize{128, 32}, &pagesLayout()}));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_refused.empty(); }));
    EXPECT_EQ(m_refused.front().code(), ErrorCode::LinkSizeMismatch);
    EXPECT_TRUE(m_link.isLive());
    // A frame in another layout is put in the board's order.
    m_shown.clear();
    m_link.show(repack(frameOf(4), verticalLayout()));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_shown.empty(); }));
    EXPECT_EQ(m_board.memory(), bytesOf(frameOf(4)));
}

enum class Departure { Unplugged, FellSilent };

class LiveLinkGone : public LiveLinkConnection, public testing::WithParamInterface<Departure> {};

TEST_P(LiveLinkGone, TellsOnceThatTheBoardIsGone)
{
    goLive();
    ASSERT_TRUE(showAndWait(frameOf(1)));
    if (GetParam() == Departure::Unplugged) {
        m_board.unplug();
    } else {
        m_board.fallSilent();
    }
    m_link.show(touched(frameOf(1), 3));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_ended.empty(); }));
    EXPECT_FALSE(m_link.isLive());
    m_link.show(touched(frameOf(1), 4));
    bool closed = false;
    m_link.close([&closed] { closed = true; });
    ASSERT_TRUE(QTest::qWaitFor([&closed] { return closed; }));
    ASSERT_EQ(m_ended.size(), 1U);
    EXPECT_EQ(m_ended.front().code(), ErrorCode::LinkBoardGone);
}

INSTANTIATE_TEST_SUITE_P(Rows, LiveLinkGone,
                         testing::Values(Departure::Unplugged, Departure::FellSilent),
                         [](const testing::TestParamInfo<Departure>& row) {
                             return row.param == Departure::Unplugged ? "Unplugged" : "FellSilent";
                         });

TEST(LiveLinkFinding, PassesOverAPortThatDoesNotAnswer)
{
    test::PseudoTerminal silent;
    FakeBoard board;
    LinkConnection link(std::make_unique<ListedPortDirectory>(
        QStringList{silent.devicePath(), board.devicePath()}));
    std::optional<BoardFacts> found;
    link.connected = [&found](const BoardFacts& facts) {
        found = facts;
    };
    link.find();
    ASSERT_TRUE(QTest::qWaitFor([&found] { return found.has_value(); }, 10000));
    EXPECT_EQ(found->portNumber, 2);
    EXPECT_EQ(found->device, board.devicePath());
    // The silent port heard the greeting again and again, every 250 ms for 2.5 s.
    const link::Bytes hello = link::encodeHello();
    EXPECT_GE(silent.receiveAny(std::chrono::milliseconds(0))
                  .count(QByteArray(reinterpret_cast<const char*>(hello.data()),
                                    static_cast<qsizetype>(hello.size()))),
              8);
}

} // namespace
} // namespace pixelcast
