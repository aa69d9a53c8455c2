#include <gtest/gtest.h>

#include "midi/ControllerBindings.h"
#include "session/Serializer.h"

namespace {

const ControlTarget PITCH_OF_1 = ControlTarget::SourceParam(1, 8);
const ControlTarget MASTER_VOLUME = ControlTarget::MasterEffect(5, 1);

// Learning again moves a binding, whichever side is learned again: a
// controller drives one parameter, a parameter follows one controller.
TEST(ControllerBindingsTest, ARelearnMovesTheBindingFromEitherSide)
{
    ControllerBindings bindings;
    bindings.Bind(1, 7, PITCH_OF_1);
    ASSERT_NE(bindings.Find(1, 7), nullptr);
    EXPECT_EQ(*bindings.Find(1, 7), PITCH_OF_1);
    EXPECT_EQ(bindings.Find(2, 7), nullptr) << "the channel is part of the binding";

    bindings.Bind(1, 7, MASTER_VOLUME);
    EXPECT_EQ(*bindings.Find(1, 7), MASTER_VOLUME);
    EXPECT_FALSE(bindings.Unbind(PITCH_OF_1)) << "the pitch lost its controller";

    bindings.Bind(3, 10, MASTER_VOLUME);
    EXPECT_EQ(bindings.Find(1, 7), nullptr);
    int channel = 0, controller = 0;
    ASSERT_TRUE(bindings.FindController(MASTER_VOLUME, &channel, &controller));
    EXPECT_EQ(channel, 3);
    EXPECT_EQ(controller, 10);
    EXPECT_EQ(bindings.GetCount(), 1);

    EXPECT_TRUE(bindings.Unbind(MASTER_VOLUME));
    EXPECT_EQ(bindings.GetCount(), 0);
}

TEST(ControllerBindingsTest, ChannelsAndControllersOutsideMidiBindNothing)
{
    ControllerBindings bindings;
    bindings.Bind(0, 7, PITCH_OF_1);
    bindings.Bind(17, 7, PITCH_OF_1);
    bindings.Bind(1, 128, PITCH_OF_1);
    bindings.Bind(1, -1, PITCH_OF_1);
    EXPECT_EQ(bindings.GetCount(), 0);
    EXPECT_EQ(bindings.Find(16, 200), nullptr);
    bindings.Bind(16, 127, PITCH_OF_1);
    EXPECT_EQ(*bindings.Find(16, 127), PITCH_OF_1);
}

// A deleted source takes its bindings (its own parameters and its chain's)
// with it; later sources move down one place, the master and rects stay.
TEST(ControllerBindingsTest, ADeletedSourceTakesItsBindingsAndLaterSourcesMoveDown)
{
    ControllerBindings bindings;
    bindings.Bind(1, 1, ControlTarget::SourceParam(0, 8));
    bindings.Bind(1, 2, ControlTarget::SourceParam(1, 8));
    bindings.Bind(1, 3, ControlTarget::SourceEffect(1, 2, 3));
    bindings.Bind(1, 4, ControlTarget::SourceParam(2, 12));
    bindings.Bind(1, 5, MASTER_VOLUME);
    bindings.Bind(1, 6, ControlTarget::RectParam(1, 2));

    bindings.ForgetSource(1);

    EXPECT_EQ(*bindings.Find(1, 1), ControlTarget::SourceParam(0, 8));
    EXPECT_EQ(bindings.Find(1, 2), nullptr);
    EXPECT_EQ(bindings.Find(1, 3), nullptr);
    EXPECT_EQ(*bindings.Find(1, 4), ControlTarget::SourceParam(1, 12));
    EXPECT_EQ(*bindings.Find(1, 5), MASTER_VOLUME);
    EXPECT_EQ(*bindings.Find(1, 6), ControlTarget::RectParam(1, 2)) << "rect indices are not source indices";
}

// A session read back by the rects' sounds may find them in another order,
// or not at all: rect bindings follow their rects, the rest stays.
TEST(ControllerBindingsTest, RectBindingsFollowTheirRectsToTheirNewPlaces)
{
    ControllerBindings bindings;
    bindings.Bind(1, 1, ControlTarget::RectParam(0, 2));
    bindings.Bind(1, 2, ControlTarget::RectParam(1, 3));
    bindings.Bind(1, 3, ControlTarget::RectParam(2, 0));
    bindings.Bind(1, 4, PITCH_OF_1);
    bindings.MoveRects({2, -1});
    EXPECT_EQ(*bindings.Find(1, 1), ControlTarget::RectParam(2, 2));
    EXPECT_EQ(bindings.Find(1, 2), nullptr) << "a rect whose sound is gone";
    EXPECT_EQ(bindings.Find(1, 3), nullptr) << "a rect the places do not reach";
    EXPECT_EQ(*bindings.Find(1, 4), PITCH_OF_1);
}

TEST(ControllerBindingsTest, TheRecordReadsBackWhatWasWritten)
{
    ControllerBindings written;
    written.Bind(1, 7, PITCH_OF_1);
    written.Bind(16, 127, MASTER_VOLUME);
    written.Bind(5, 0, ControlTarget::SourceEffect(0, 4, 6));
    Serializer out;
    out.OpenWriteMemory();
    written.Serialize(&out);
    out.PutInt(12345);

    ControllerBindings read;
    read.Bind(2, 2, ControlTarget::RectParam(0, 0));
    Serializer in;
    in.OpenReadMemory(out.GetStream());
    read.UnSerialize(&in);
    EXPECT_EQ(read.GetCount(), 3) << "the bindings before the load are replaced";
    EXPECT_EQ(*read.Find(1, 7), PITCH_OF_1);
    EXPECT_EQ(*read.Find(16, 127), MASTER_VOLUME);
    EXPECT_EQ(*read.Find(5, 0), ControlTarget::SourceEffect(0, 4, 6));
    int next = 0;
    ASSERT_TRUE(in.GetInt(&next));
    EXPECT_EQ(next, 12345) << "the record is read exactly to its end";
}

// A damaged record keeps the bindings before the bad one and stops the load there.
TEST(ControllerBindingsTest, ABindingThatCannotBeStopsTheRecordWhereItIs)
{
    Serializer out;
    out.OpenWriteMemory();
    out.PutInt(3);
    for (int v : {1, 7, int(ControlTarget::SOURCE_PARAM), 0, -1, 8})
        out.PutInt(v);
    for (int v : {1, 9, 42, 0, -1, 8})
        out.PutInt(v);
    for (int v : {1, 10, int(ControlTarget::MASTER_EFFECT), -1, 5, 1})
        out.PutInt(v);
    ControllerBindings read;
    Serializer in;
    in.OpenReadMemory(out.GetStream());
    read.UnSerialize(&in);
    EXPECT_EQ(read.GetCount(), 1);
    EXPECT_NE(read.Find(1, 7), nullptr);
    EXPECT_TRUE(in.HasRunOut());

    Serializer hugeCount;
    hugeCount.OpenWriteMemory();
    hugeCount.PutInt(1 << 30);
    Serializer in2;
    in2.OpenReadMemory(hugeCount.GetStream());
    read.UnSerialize(&in2);
    EXPECT_EQ(read.GetCount(), 0);
    EXPECT_TRUE(in2.HasRunOut());
}

// -1 means "none" only where a target has none: the master chain's object,
// the effect of a source's or rect's own parameter. A record binding rect or
// source -1, or the master chain to an object, is refused at that binding.
TEST(ControllerBindingsTest, ARecordNamingRectOrSourceMinusOneIsRefused)
{
    ControlTarget rectWithEffect = ControlTarget::RectParam(0, 0);
    rectWithEffect.effect = 2;
    ControlTarget masterOfSource = MASTER_VOLUME;
    masterOfSource.object = 0;
    const ControlTarget cannotBe[] = {ControlTarget::RectParam(-1, 0),
                                      ControlTarget::SourceParam(-1, 8),
                                      ControlTarget::SourceEffect(-1, 4, 6),
                                      ControlTarget::SourceEffect(0, -1, 6),
                                      ControlTarget::MasterEffect(-1, 1),
                                      rectWithEffect,
                                      masterOfSource};
    for (const ControlTarget& bad : cannotBe) {
        Serializer out;
        out.OpenWriteMemory();
        out.PutInt(2);
        for (int v : {1, 7, int(ControlTarget::RECT_PARAM), 0, -1, 1})
            out.PutInt(v);
        for (int v : {1, 8, bad.kind, bad.object, bad.effect, bad.param})
            out.PutInt(v);
        ControllerBindings read;
        Serializer in;
        in.OpenReadMemory(out.GetStream());
        read.UnSerialize(&in);
        EXPECT_EQ(read.GetCount(), 1) << bad.kind << " " << bad.object << " " << bad.effect;
        EXPECT_TRUE(in.HasRunOut());
    }

    // Rect -1 bound some other way finds no place, whatever the places hold.
    ControllerBindings bindings;
    bindings.Bind(1, 1, ControlTarget::RectParam(-1, 0));
    bindings.MoveRects({});
    EXPECT_EQ(bindings.GetCount(), 0);
}

}  // namespace
