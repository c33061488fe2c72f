// The objects the host hands to modules behave as modules rely on.
#include <cstring>

#include <gtest/gtest.h>

#include "kestravel_host/event_list.h"
#include "kestravel_host/host_application.h"
#include "kestravel_host/memory_stream.h"
#include "kestravel_host/module.h"
#include "kestravel_host/parameter_changes.h"
#include "kestravel_host/utf.h"

namespace kestravel::plugins {
namespace {

using namespace Steinberg;

TEST(ParamValueQueue, KeepsPointsInOffsetOrderAndReplacesAnOffsetAlreadyThere)
{
    ParameterChanges changes(2, 3);
    int32 queueIndex = -1;
    Vst::IParamValueQueue* q = changes.addParameterData(7, queueIndex);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(queueIndex, 0);
    int32 at = -1;
    ASSERT_EQ(q->addPoint(100, 0.5, at), kResultOk);
    ASSERT_EQ(q->addPoint(10, 0.1, at), kResultOk);
    EXPECT_EQ(at, 0);
    ASSERT_EQ(q->addPoint(100, 0.7, at), kResultOk); // same offset: new value, no new point
    EXPECT_EQ(at, 1);
    ASSERT_EQ(q->addPoint(50, 0.3, at), kResultOk);
    EXPECT_EQ(q->addPoint(60, 0.4, at), kResultFalse) << "capacity of 3 points";
    ASSERT_EQ(q->getPointCount(), 3);
    const std::pair<int32, double> want[] = {{10, 0.1}, {50, 0.3}, {100, 0.7}};
    for (int32 i = 0; i < 3; ++i)
    {
        int32 offset = -1;
        double value = -1;
        ASSERT_EQ(q->getPoint(i, offset, value), kResultOk);
        EXPECT_EQ(offset, want[i].first);
        EXPECT_EQ(value, want[i].second);
    }
    int32 offset = 0;
    double value = 0;
    EXPECT_NE(q->getPoint(3, offset, value), kResultOk);
    EXPECT_NE(q->getPoint(-1, offset, value), kResultOk);

    // The same id finds its queue; a new id takes the next; past capacity there is none.
    EXPECT_EQ(changes.addParameterData(7, queueIndex), q);
    EXPECT_NE(changes.addParameterData(8, queueIndex), nullptr);
    EXPECT_EQ(queueIndex, 1);
    EXPECT_EQ(changes.addParameterData(9, queueIndex), nullptr);
    EXPECT_EQ(changes.getParameterCount(), 2);
    EXPECT_EQ(changes.getParameterData(2), nullptr);
    EXPECT_EQ(changes.getParameterData(-1), nullptr);

    changes.clear();
    EXPECT_EQ(changes.getParameterCount(), 0);
    ASSERT_TRUE(changes.add(9, 0, 1.0));
    EXPECT_EQ(changes.getParameterData(0)->getParameterId(), 9u);
    EXPECT_EQ(changes.getParameterData(0)->getPointCount(), 1);
}

Vst::Event sysex(const uint8* bytes, uint32 size, int32 offset)
{
    Vst::Event e{};
    e.type = Vst::Event::kDataEvent;
    e.sampleOffset = offset;
    e.data.type = Vst::DataEvent::kMidiSysEx;
    e.data.size = size;
    e.data.bytes = bytes;
    return e;
}

TEST(EventList, KeepsItsOwnCopyOfEachPayloadAndRefusesWhenFull)
{
    EventList list(2, 10);
    uint8 message[7] = {0xF0, 0x7D, 'K', 'T', 'S', 1, 0xF7};
    Vst::Event e = sysex(message, 7, 5);
    ASSERT_EQ(list.addEvent(e), kResultOk);
    message[5] = 2; // the sender reuses its buffer
    Vst::Event got{};
    ASSERT_EQ(list.getEvent(0, got), kResultOk);
    EXPECT_EQ(got.sampleOffset, 5);
    ASSERT_EQ(got.data.size, 7u);
    EXPECT_EQ(got.data.bytes[5], 1);

    Vst::Event tooBig = sysex(message, 7, 6); // 7 + 7 bytes exceed the 10-byte pool
    EXPECT_EQ(list.addEvent(tooBig), kOutOfMemory);
    Vst::Event note{};
    note.type = Vst::Event::kNoteOnEvent;
    ASSERT_EQ(list.addEvent(note), kResultOk);
    EXPECT_EQ(list.addEvent(note), kOutOfMemory);
    EXPECT_EQ(list.getEventCount(), 2);
    EXPECT_EQ(list.getEvent(2, got), kInvalidArgument);
    EXPECT_EQ(list.getEvent(-1, got), kInvalidArgument);

    list.clear();
    EXPECT_EQ(list.getEventCount(), 0);
    EXPECT_EQ(list.addEvent(e), kResultOk) << "clearing frees the pool as well";
}

TEST(MemoryStream, ReadsWritesSeeksAndCanTakeLessThanOffered)
{
    auto stream = Ref<MemoryStream>::adopt(new MemoryStream());
    char data[] = "abcdef";
    int32 n = -1;
    ASSERT_EQ(stream->write(data, 6, &n), kResultOk);
    EXPECT_EQ(n, 6);
    int64 pos = -1;
    ASSERT_EQ(stream->seek(-4, IBStream::kIBSeekEnd, &pos), kResultOk);
    EXPECT_EQ(pos, 2);
    char back[8] = {};
    ASSERT_EQ(stream->read(back, 8, &n), kResultOk);
    EXPECT_EQ(n, 4) << "a read past the end returns what is there";
    EXPECT_STREQ(back, "cdef");
    EXPECT_EQ(stream->seek(-1, IBStream::kIBSeekSet, &pos), kInvalidArgument);
    EXPECT_EQ(stream->seek(0, 9, &pos), kInvalidArgument);
    EXPECT_EQ(stream->tell(nullptr), kInvalidArgument);
    EXPECT_EQ(stream->write(nullptr, 3, &n), kInvalidArgument);

    auto small = Ref<MemoryStream>::adopt(new MemoryStream());
    small->limitCapacity(4);
    ASSERT_EQ(small->write(data, 3, &n), kResultOk);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(small->write(data, 3, &n), kResultOk);
    EXPECT_EQ(n, 1) << "only one byte of room was left";
    ASSERT_EQ(small->write(data, 3, &n), kResultOk);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(small->bytes().size(), 4u);
}

TEST(HostApplication, CreatesMessagesAndAttributeListsOnly)
{
    auto host = Ref<HostApplication>::adopt(new HostApplication());
    Vst::String128 name{};
    ASSERT_EQ(host->getName(name), kResultOk);
    EXPECT_EQ(utf16ToUtf8(name, 128), HostApplication::kName);

    TUID messageId, listId, componentId;
    std::memcpy(messageId, static_cast<const TUID&>(Vst::IMessage::iid), 16);
    std::memcpy(listId, static_cast<const TUID&>(Vst::IAttributeList::iid), 16);
    std::memcpy(componentId, static_cast<const TUID&>(FUnknown::iid), 16);
    void* obj = nullptr;
    ASSERT_EQ(host->createInstance(messageId, messageId, &obj), kResultOk);
    auto message = Ref<Vst::IMessage>::adopt(static_cast<Vst::IMessage*>(obj));
    message->setMessageID("ping");
    EXPECT_STREQ(message->getMessageID(), "ping");
    Vst::IAttributeList* attributes = message->getAttributes();
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(attributes->setInt("n", -5), kResultOk);
    int64 i = 0;
    EXPECT_EQ(attributes->getInt("n", i), kResultOk);
    EXPECT_EQ(i, -5);
    double d = 0;
    EXPECT_EQ(attributes->getFloat("n", d), kResultFalse) << "an int is not read as a float";
    const std::u16string text = u"Gr\u00FC\u00DFe \U0001F3B5";
    ASSERT_EQ(attributes->setString("s", reinterpret_cast<const Vst::TChar*>(text.c_str())), kResultOk);
    Vst::TChar out[6] = {};
    ASSERT_EQ(attributes->getString("s", out, sizeof out), kResultOk);
    EXPECT_EQ(utf16ToUtf8(out, 6), "Gr\xC3\xBC\xC3\x9F" "e") << "cut to the buffer, zero terminated";

    ASSERT_EQ(host->createInstance(listId, listId, &obj), kResultOk);
    static_cast<Vst::IAttributeList*>(obj)->release();
    EXPECT_EQ(host->createInstance(componentId, componentId, &obj), kResultFalse);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(host->createInstance(messageId, listId, &obj), kResultFalse);
}

TEST(Utf, ConvertsBothWaysAndReplacesWhatIsNotText)
{
    const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"; // a, e-acute, euro, a note (a surrogate pair)
    const std::u16string utf16 = utf8ToUtf16(utf8);
    EXPECT_EQ(utf16, (std::u16string{u'a', 0x00E9, 0x20AC, 0xD83C, 0xDFB5}));
    EXPECT_EQ(utf16ToUtf8(utf16), utf8);
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD})) << "overlong form";
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0xFFFD, 0xFFFD, 0xFFFD})) << "encoded surrogate";
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xD800, u'x'}), "\xEF\xBF\xBDx") << "unpaired surrogate";

    Vst::TChar field[5];
    copyUtf16(utf16, field, 5); // four units fit, but the fourth would split the pair
    EXPECT_EQ(field[3], 0);
    EXPECT_EQ(utf16ToUtf8(field, 5), "a\xC3\xA9\xE2\x82\xAC");
}

TEST(ClassId, WordsFollowThisPlatformsByteOrder)
{
    // The bytes a FUID of these four words holds on this platform.
#ifdef _WIN32
    const std::array<char, 16> cid{0x43, 0x41, 0x52, 0x4B, 0x55, 0x4B, 0x49, 0x54, 0x4C, 0x49, 0x54, 0x59, 0x00, 0x10, 0x00, 0x02};
#else
    const std::array<char, 16> cid{0x4B, 0x52, 0x41, 0x43, 0x4B, 0x55, 0x54, 0x49, 0x4C, 0x49, 0x54, 0x59, 0x00, 0x10, 0x00, 0x02};
#endif
    EXPECT_EQ(classIdText(cid), "4B524143 4B555449 4C495459 00100002");
}

} // namespace
} // namespace kestravel::plugins
