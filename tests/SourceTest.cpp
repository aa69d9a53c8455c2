#include <gtest/gtest.h>

#include <cmath>

#include "sources/Envelope.h"
#include "sources/Source.h"

namespace {
// The smallest playable kind: enough to drive the shared base.
class TestSource : public Source {
public:
    explicit TestSource(SourceType type = GRAIN_CLOUD) { _sourceType = type; }

    Source* Clone() override
    {
        TestSource* copy = new TestSource(UNDEFINED_TYPE);
        Source::Clone(copy);
        return copy;
    }
    void NextBuffer(std::vector<float>*, unsigned) override {}
    void RegisterUI(UISource*) override {}
    UISource* GetUI() override { return nullptr; }
    unsigned CountSoundingGrains() const override { return 0; }
    void ResetCurrentParameterIndex() override {}
    void AddRect(SoundRect*) override {}
    Parameter* GetCurrentParameter() override { return nullptr; }
    Parameter* GetParameter(int) override { return nullptr; }
    int GetNumParams() override { return 0; }
    double GetUIX() override { return 0.0; }
    double GetUIY() override { return 0.0; }
    double GetUIRadius() override { return 0.0; }

    bool IsClone() const { return _isClone; }
};
}  // namespace

TEST(SourceTest, FreshSourcePlaysUntransposed)
{
    TestSource source;
    EXPECT_EQ(source.GetParamProviderType(), ParameterProvider::SOURCE);
    EXPECT_EQ(source.GetSourceType(), Source::GRAIN_CLOUD);
    EXPECT_EQ(source.GetMidiNote(), -1);
    EXPECT_EQ(source.GetMidiNotePitch(), 1.0);
    EXPECT_EQ(source.GetPitchBendFactor(), 1.0);
    EXPECT_EQ(source.GetMidiChannel(), 0);
    EXPECT_EQ(source.GetTimeStretch(), 1.0);
    EXPECT_FALSE(source.IsMuted());
    EXPECT_FALSE(source.IsClone());
    ASSERT_NE(source.GetEnvelope(), nullptr);
    EXPECT_EQ(source.GetEnvelope()->GetEnvelopeSize(), 2048);
}

TEST(SourceTest, MidiNotesTransposeInEqualTemperamentAroundNote72)
{
    TestSource source;
    source.SetMidiNote(84);
    EXPECT_NEAR(source.GetMidiNotePitch(), 2.0, 1e-12);
    source.SetMidiNote(60);
    EXPECT_NEAR(source.GetMidiNotePitch(), 0.5, 1e-12);
    source.SetMidiNote(72);
    EXPECT_EQ(source.GetMidiNotePitch(), 1.0);
    for (int note : {0, 45, 69, 73, 127}) {
        source.SetMidiNote(note);
        EXPECT_NEAR(source.GetMidiNotePitch(), std::pow(2.0, (note - 72) / 12.0), 1e-9) << note;
    }
    source.SetMidiNote(-1);
    EXPECT_EQ(source.GetMidiNotePitch(), 1.0);
}

TEST(SourceTest, PitchBendGoesInEqualSemitones)
{
    TestSource source;
    const double cases[][2] = {
        {-12.0, 0.5}, {-2.0, 0.8908987181403393}, {0.0, 1.0}, {1.0, 1.0594630943592953}, {7.0, 1.4983070768766815},
        {24.0, 4.0}};
    for (const auto& c : cases) {
        source.SetPitchBend(c[0]);
        EXPECT_NEAR(source.GetPitchBendFactor(), c[1], 1e-12) << c[0] << " semitones";
    }
}

TEST(SourceTest, CloneCopiesTheIdentityButNotTheBend)
{
    TestSource origin(Source::LOOP_SOURCE);
    origin.SetMidiNote(64);
    origin.SetTimeStretch(2.5);
    origin.SetMuted(true);
    origin.SetPitchBend(5.0);

    Source* copy = origin.Clone();
    EXPECT_EQ(copy->GetId(), origin.GetId());
    EXPECT_EQ(copy->GetSourceType(), Source::LOOP_SOURCE);
    EXPECT_EQ(copy->GetMidiNote(), 64);
    EXPECT_EQ(copy->GetTimeStretch(), 2.5);
    EXPECT_TRUE(copy->IsMuted());
    EXPECT_EQ(copy->GetPitchBendFactor(), 1.0);
    EXPECT_TRUE(static_cast<TestSource*>(copy)->IsClone());
    EXPECT_FALSE(origin.IsClone());
    // Its own envelopes: drawing on the copy's table leaves the origin alone.
    ASSERT_NE(copy->GetEnvelope(), origin.GetEnvelope());
    copy->GetEnvelope()->SetEnvelope(Envelope::HAND_DRAWN, std::vector<float>(2048, 0.0f));
    EXPECT_EQ(origin.GetEnvelope()->GetEnvelope(Envelope::HAND_DRAWN)[0], 1.0f);
    delete copy;
}

TEST(SourceTest, IdsKeepGrowing)
{
    TestSource* first = new TestSource();
    uint32_t firstId = first->GetId();
    delete first;
    TestSource second;
    TestSource third;
    EXPECT_GT(second.GetId(), firstId);
    EXPECT_EQ(third.GetId(), second.GetId() + 1);
    // A clone answers with its origin's id; the one it was built with is
    // never handed out again.
    Source* copy = third.Clone();
    TestSource fourth;
    EXPECT_EQ(fourth.GetId(), third.GetId() + 2);
    delete copy;
}
