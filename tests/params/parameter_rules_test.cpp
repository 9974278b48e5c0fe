// The pages' checks and derivations as tables of boundary cases, and `params set` running the
// same checks. Messages are compared byte for byte: the full-width punctuation is spelled in
// hexadecimal here so that a look-alike character in the code cannot pass.
#include "params/parameter_rules.h"

#include <gtest/gtest.h>

#include <cstring>

// Full-width comma U+FF0C.
#define FWC "\xEF\xBC\x8C"

namespace torvane {
namespace {

struct Case {
    const char* text;
    bool accepted;
    const char* message;  // whole text when refused
};

DriveState MotorState() {
    DriveState s;
    s.SpeedLimit = 3000;
    return s;
}

MotorPageEntries GoodMotor() {
    MotorPageEntries e;
    e.PolePairs = "4";
    e.EncoderLines = "2500";
    e.RatedCurrent = "3";
    e.LockedRotorCurrent = "6";
    e.RatedRotorSpeed = "2000";
    e.FeedbackTypeIndex = 0;
    e.HallSequenceIndex = 2;
    return e;
}

void ExpectOutcome(const std::optional<EntryError>& r, const Case& c) {
    if (c.accepted) {
        EXPECT_FALSE(r.has_value()) << c.text << ": " << (r ? r->Text : "");
    } else {
        ASSERT_TRUE(r.has_value()) << c.text;
        EXPECT_EQ(r->Text, c.message) << c.text;
    }
}

TEST(MotorPage, PolePairsBoundsAndConversion) {
    const Case cases[] = {
        {"40", true, ""},
        {"0", true, ""},
        {"-0", true, ""},
        {"2.7", true, ""},
        {"40.5", false, "pole pairs" FWC "input overrun\nallowed band 0 up to 40"},
        {"-1", false, "pole pairs" FWC "input overrun\nallowed band 0 up to 40"},
    };
    for (const Case& c : cases) {
        DriveState s = MotorState();
        MotorPageEntries e = GoodMotor();
        e.PolePairs = c.text;
        const auto r = ValidateMotorPage(e, s);
        ExpectOutcome(r, c);
        if (r) {
            EXPECT_EQ(r->Icon, NoticeIcon::Error);
            EXPECT_EQ(s.Params.Motor.PolePairs, 0) << "nothing stored";
            EXPECT_EQ(s.CountsPerRev, 1u);
        }
    }
    DriveState s = MotorState();
    MotorPageEntries e = GoodMotor();
    e.PolePairs = "2.7";  // passes the check as 2.7, stores the leading integer
    ASSERT_FALSE(ValidateMotorPage(e, s));
    EXPECT_EQ(s.Params.Motor.PolePairs, 2);
}

TEST(MotorPage, EachFieldInTheOrderOfChecks) {
    const std::string rated = "\xE9\xA2\x9D\xE5\xAE\x9A\xE7\x94\xB5\xE6\xB5\x81" FWC
                              "\xE8\xBE\x93\xE5\x85\xA5\xE8\xB6\x85\xE9\x99\x90\n";
    const std::string locked = "\xE5\xA0\xB5\xE8\xBD\xAC\xE7\x94\xB5\xE6\xB5\x81" FWC
                               "\xE8\xBE\x93\xE5\x85\xA5\xE8\xB6\x85\xE9\x99\x90\n";
    struct Row {
        MotorPageEntries entries;
        std::string message;  // empty: accepted
    };
    auto with = [](auto change) {
        MotorPageEntries e = GoodMotor();
        change(e);
        return e;
    };
    const Row rows[] = {
        {with([](auto& e) { e.EncoderLines = "50001"; }),
         "The encoder line" FWC "input overrun\nallowed band 0 up to 50000"},
        {with([](auto& e) { e.RatedCurrent = "0.8"; }), ""},
        {with([](auto& e) { e.RatedCurrent = "0.79"; }), rated + "allowed band 0.8 up to 20"},
        {with([](auto& e) { e.LockedRotorCurrent = "20.01"; }),
         locked + "allowed band 0.8 up to 20"},
        // Both inside 0.8..20, but rated above locked-rotor.
        {with([](auto& e) {
             e.RatedCurrent = "5";
             e.LockedRotorCurrent = "4";
         }),
         "rating current" FWC "input overrun\nallowed band: 0 up to  locked-rotor current"},
        {with([](auto& e) {
             e.RatedCurrent = "5";
             e.LockedRotorCurrent = "5";
         }),
         ""},
        // The first failing check wins: Pole Pairs before the encoder lines.
        {with([](auto& e) {
             e.PolePairs = "41";
             e.EncoderLines = "99999";
         }),
         "pole pairs" FWC "input overrun\nallowed band 0 up to 40"},
        {with([](auto& e) { e.RatedRotorSpeed = "3000.5"; }),
         "Mechanical speed" FWC "input overrun\nallowed band 0 up to 3000"},
    };
    for (const Row& row : rows) {
        DriveState s = MotorState();
        const auto r = ValidateMotorPage(row.entries, s);
        if (row.message.empty()) {
            EXPECT_FALSE(r) << (r ? r->Text : "");
        } else {
            ASSERT_TRUE(r) << row.message;
            EXPECT_EQ(r->Text, row.message);
        }
    }
}

TEST(MotorPage, CountsPerRevIsStoredBeforeTheSpeedCheckOnly) {
    // Refused at the currents: CountsPerRev untouched.
    DriveState s = MotorState();
    MotorPageEntries e = GoodMotor();
    e.RatedCurrent = "10";
    e.LockedRotorCurrent = "8";
    ASSERT_TRUE(ValidateMotorPage(e, s));
    EXPECT_EQ(s.CountsPerRev, 1u);

    // Refused at Rated Rotor Speed: CountsPerRev already set, the group not stored.
    e = GoodMotor();
    e.RatedRotorSpeed = "3001";
    ASSERT_TRUE(ValidateMotorPage(e, s));
    EXPECT_EQ(s.CountsPerRev, 10000u);
    EXPECT_EQ(s.Params.Motor.EncoderLines, 0);

    // A limit read in a float shows in the band with up to 16 digits of the widened value.
    s.SpeedLimit = 2999.9f;
    const auto r = ValidateMotorPage(e, s);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Text,
              "Mechanical speed" FWC "input overrun\nallowed band 0 up to 2999.89990234375");

    s = MotorState();
    ASSERT_FALSE(ValidateMotorPage(GoodMotor(), s));
    EXPECT_EQ(s.CountsPerRev, 10000u);
    const MotorGroup& m = s.Params.Motor;
    EXPECT_EQ(m.PolePairs, 4);
    EXPECT_EQ(m.FeedbackType, 2);
    EXPECT_EQ(m.EncoderLines, 2500);
    EXPECT_EQ(m.RatedCurrent, 3.0f);
    EXPECT_EQ(m.LockedRotorCurrent, 6.0f);
    EXPECT_EQ(m.RatedRotorSpeed, 2000);
    EXPECT_EQ(m.MotorHallSequence, 3);
}

TEST(MotorPage, EntriesFromTheSetRoundTrip) {
    ParameterSet set;
    set.Motor.FeedbackType = 2;  // "Absolute encoder": the encoder edit shows 16
    set.Motor.EncoderLines = 2500;
    set.Motor.PolePairs = 5;
    set.Motor.RatedCurrent = 2.5f;
    set.Motor.LockedRotorCurrent = 7.5f;
    DriveState s = MotorState();
    s.Params = set;
    ASSERT_FALSE(ValidateMotorPage(MotorEntriesFrom(set), s));
    EXPECT_EQ(s.Params.Motor.EncoderLines, 16);
    EXPECT_EQ(s.CountsPerRev, 64u);
    EXPECT_EQ(s.Params.Motor.FeedbackType, 2);
    EXPECT_EQ(s.Params.Motor.MotorHallSequence, 0);  // no selection

    set.Motor.FeedbackType = 1;
    s.Params = set;
    ASSERT_FALSE(ValidateMotorPage(MotorEntriesFrom(set), s));
    EXPECT_EQ(s.Params.Motor.EncoderLines, 2500);
    EXPECT_EQ(s.Params.Motor.FeedbackType, 1);
}

ApplicationPageEntries GoodApplication() {
    ApplicationPageEntries e = ApplicationEntriesFrom(ParameterSet{});
    e.MaximumSpeed = "2000";
    e.Acceleration = "100";
    e.MaxPos = "10";
    e.MinPos = "0";
    e.MotorDirectionIndex = 0;
    return e;
}

TEST(ApplicationPage, MaximumSpeedRoundingAndBounds) {
    const char* band = "maximum speed,input overrun\nallowed band 0 up to 2500";
    const struct {
        const char* text;
        bool accepted;
        int32_t stored;
    } cases[] = {
        {"2500", true, 2500}, {"2500.4", false, 0}, {"1499.5", true, 1500}, {"2.5", true, 3},
        {"0.4", true, 0},     {"0", true, 0},       {"-0.4", false, 0},     {"12abc", true, 12},
    };
    for (const auto& c : cases) {
        ParameterSet set;
        ApplicationPageEntries e = GoodApplication();
        e.MaximumSpeed = c.text;
        const auto r = ValidateApplicationPage(e, set);
        if (c.accepted) {
            EXPECT_FALSE(r) << c.text;
            EXPECT_EQ(set.Application.MaximumSpeed, c.stored) << c.text;
        } else {
            ASSERT_TRUE(r) << c.text;
            EXPECT_EQ(r->Text, band);
            EXPECT_EQ(r->Icon, NoticeIcon::Error);
            EXPECT_EQ(set.Application.Acceleration, 0) << "nothing stored";
        }
    }
}

TEST(ApplicationPage, PositionsAndDerivations) {
    const struct {
        const char* maxPos;
        const char* minPos;
        const char* message;  // "" accepted
        int32_t appliedMax;
    } cases[] = {
        {"32767", "0", "", 32767},
        {"-1", "0", "MaxPos" FWC "input overrun\nallowed band 0 up to 32767", 0},
        {"10.99", "0", "", 10},
        {"10.5", "20", "", 10},  // no ordering check between the two
        {"1", "32767.5", "MinPos" FWC "input overrun\nallowed band 0 up to 32767", 0},
    };
    for (const auto& c : cases) {
        ParameterSet set;
        set.Application.Deceleration = 300;
        set.Application.StopDeceleration = 7;
        ApplicationPageEntries e = GoodApplication();
        e.MaxPos = c.maxPos;
        e.MinPos = c.minPos;
        e.Deceleration = "300";
        const auto r = ValidateApplicationPage(e, set);
        if (*c.message) {
            ASSERT_TRUE(r) << c.maxPos;
            EXPECT_EQ(r->Text, c.message);
            EXPECT_EQ(set.Application.Deceleration, 300);
            continue;
        }
        ASSERT_FALSE(r) << c.maxPos;
        EXPECT_EQ(set.Application.AppliedMaxPos, c.appliedMax);
        EXPECT_EQ(set.Application.MaxPos, std::strtof(c.maxPos, nullptr));
        EXPECT_EQ(set.Application.Deceleration, 0);
        EXPECT_EQ(set.Application.StopDeceleration, 0);
    }

    // Acceleration's message, and the combo and hidden fields.
    ParameterSet set;
    ApplicationPageEntries e = GoodApplication();
    e.Acceleration = "10001";
    auto r = ValidateApplicationPage(e, set);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Text, "acceleration" FWC "input overrun\nallowed band 0 up to 10000");

    set.Application.MotorDirection = 5;  // shows no selection, stored back as 1
    set.Application.CurrentFlag = 1;
    set.Application.AppliedCurrentRating = 4.5f;
    set.Application.InitialPosition = -12;
    e = ApplicationEntriesFrom(set);
    EXPECT_EQ(e.MotorDirectionIndex, -1);
    ASSERT_FALSE(ValidateApplicationPage(e, set));
    EXPECT_EQ(set.Application.MotorDirection, 1);
    EXPECT_EQ(set.Application.CurrentFlag, 0);  // the page never ticks "Current"
    EXPECT_EQ(set.Application.AppliedCurrentRating, 4.5f);
    EXPECT_EQ(set.Application.InitialPosition, -12);
}

TEST(CustomDialog, ChecksInOrderAfterStoringEverything) {
    const char* brake =
        "Duty cycle number of duty cycle, transfinite number of exports\n"
        "allowed band 0 up to 3000";
    const char* holding =
        "Duty cycle holding duty cycle number, export transfinite number\n"
        "allowed band 0 up to 3000";
    const char* iq =
        "Ring-opening vehicle distribution current Iq, export transfinite number\n"
        "allowed band 0 up to 20";
    const char* vq =
        "Ultra-low speed Vq setting size, export transfinite number\n"
        "allowed band 0 up to 1000";
    const struct {
        int value;
        const char* text;
        const char* message;
    } cases[] = {
        {13, "3000", ""}, {13, "3001", brake}, {14, "3001", holding}, {14, "-1", holding},
        {4, "20", ""},    {4, "21", iq},       {11, "1000", ""},      {11, "1001", vq},
        {0, "99999", ""},  // values without an entry are not checked
    };
    for (const auto& c : cases) {
        ParameterSet set;
        CustomPageEntries e = CustomEntriesFrom(set);
        e.Values[c.value] = c.text;
        const auto r = ValidateCustomPage(e, set);
        // Every value is stored before the checks, refused or not.
        EXPECT_EQ(set.Custom.CustomValues[c.value], std::atoi(c.text));
        if (*c.message) {
            ASSERT_TRUE(r) << c.value << " " << c.text;
            EXPECT_EQ(r->Text, c.message);
            EXPECT_EQ(r->Icon, NoticeIcon::Error);
        } else {
            EXPECT_FALSE(r) << c.value << " " << c.text;
        }
    }

    // Order: 13, 14, 4, 11.
    ParameterSet set;
    CustomPageEntries e = CustomEntriesFrom(set);
    e.Values[11] = "5000";
    e.Values[4] = "50";
    e.Values[14] = "4000";
    ASSERT_EQ(ValidateCustomPage(e, set)->Text, holding);
    e.Values[13] = "4000";
    ASSERT_EQ(ValidateCustomPage(e, set)->Text, brake);

    // While typing: only values 13 and 14 are checked, the message at the fourth digit.
    EXPECT_FALSE(CheckCustomEntryWhileTyping(13, "300"));
    ASSERT_TRUE(CheckCustomEntryWhileTyping(13, "3001"));
    EXPECT_EQ(CheckCustomEntryWhileTyping(13, "3001")->Text, brake);
    EXPECT_EQ(CheckCustomEntryWhileTyping(14, "3001")->Text, holding);
    EXPECT_FALSE(CheckCustomEntryWhileTyping(4, "21"));
}

TEST(Derivations, Conversions) {
    EXPECT_EQ(CountsPerRevFor(2500), 10000u);
    EXPECT_EQ(CountsPerRevFor(65535), 262140u);
    EXPECT_EQ(AppliedPosition(12.9f), 12);
    EXPECT_EQ(AppliedPosition(-12.9f), -12);
    EXPECT_EQ(AppliedPosition(1e20f), INT32_MAX);  // saturates
    EXPECT_EQ(MaximumSpeedFromText("1e30"), INT32_MAX);
    EXPECT_EQ(MaximumSpeedFromText("-2.5"), -3);
    EXPECT_EQ(MotorDirectionFor(0), 0);
    EXPECT_EQ(MotorDirectionFor(1), 1);
    EXPECT_EQ(MotorDirectionFor(-1), 1);
    EXPECT_EQ(FeedbackTypeFor(-1), 1);
    EXPECT_EQ(FeedbackTypeFor(0), 2);
    EXPECT_EQ(HallSequenceFor(-1), 0);
    EXPECT_EQ(HallSequenceFor(5), 6);
}

TEST(FieldTable, EveryFieldOnceInIdOrderWithItsBlock) {
    const auto& fields = ParameterFields();
    ASSERT_EQ(fields.size(), static_cast<size_t>(FieldId::Count));
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(static_cast<size_t>(fields[i].Id), i) << fields[i].Name;
        EXPECT_EQ(FindField(fields[i].Name), &fields[i]) << fields[i].Name;
        if (!fields[i].Alias.empty()) {
            EXPECT_EQ(FindField(fields[i].Alias), &fields[i]);
        }
    }
    EXPECT_EQ(FieldInfo(FieldId::SpeedLoopI).Block, 0x200C);
    EXPECT_EQ(FieldInfo(CustomValueField(5)).Alias,
              "Hall Deviation\xEF\xBC\x88\xC2\xB0\xEF\xBC\x89");
    EXPECT_EQ(FieldsOfGroup(ParamGroup::Matching).size(), 6u);
    EXPECT_EQ(FindGroup(" Loop "), ParamGroup::Loop);
    EXPECT_FALSE(FindGroup("loops"));
}

// ---- params set

std::vector<Assignment> Parse(std::initializer_list<const char*> args) {
    std::vector<Assignment> out;
    for (const char* a : args) {
        std::string error;
        auto parsed = ParseAssignment(a, error);
        EXPECT_TRUE(parsed) << a << ": " << error;
        if (parsed) out.push_back(*parsed);
    }
    return out;
}

TEST(ParamsSet, NamesAndRefusals) {
    std::string error;
    const auto a = ParseAssignment(" pole pairs =5", error);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Field, FieldId::PolePairs);
    EXPECT_EQ(a->Text, "5");
    EXPECT_EQ(ParseAssignment("Brake Start Duty Cycle Parameters=1", error)->Field,
              CustomValueField(13));
    EXPECT_EQ(ParseAssignment("Custom Flag 9=1", error)->Field, CustomFlagField(9));
    EXPECT_EQ(ParseAssignment("Position Loop D=1", error)->Field, FieldId::PositionLoopD);

    EXPECT_FALSE(ParseAssignment("Pole Pairs", error));
    EXPECT_EQ(error, "expected NAME=VALUE: \"Pole Pairs\"");
    EXPECT_FALSE(ParseAssignment("Pole Pears=4", error));
    EXPECT_EQ(error, "unknown parameter \"Pole Pears\"");
    EXPECT_FALSE(ParseAssignment("Match Marks=1", error));
    EXPECT_FALSE(ParseAssignment("Applied MaxPos=3", error));
    EXPECT_EQ(error, "Applied MaxPos is derived: set MaxPos instead");
}

TEST(ParamsSet, ChecksNamedFieldsInPageOrderAndChangesNothingOnRefusal) {
    DriveState s = MotorState();
    s.Params.Motor.RatedCurrent = 3;
    s.Params.Motor.LockedRotorCurrent = 4;
    s.Params.Motor.EncoderLines = 1000;
    s.Params.Application.Deceleration = 300;
    const DriveState before = s;

    const struct {
        std::vector<Assignment> set;
        std::string message;
    } refused[] = {
        {Parse({"Pole Pairs=40.5"}), "pole pairs" FWC "input overrun\nallowed band 0 up to 40"},
        {Parse({"Maximum Speed=2500.4"}), "maximum speed,input overrun\nallowed band 0 up to 2500"},
        // Acceleration is checked after Maximum Speed whatever the order given.
        {Parse({"Acceleration=-1", "Maximum Speed=2501"}),
         "maximum speed,input overrun\nallowed band 0 up to 2500"},
        // Against the drive's Locked-rotor Current.
        {Parse({"Rated Current=5"}),
         "rating current" FWC "input overrun\nallowed band: 0 up to  locked-rotor current"},
        {Parse({"Current Loop D=1.5"}),
         "D value of current loop" FWC
         "input overrun \n allowed band Greater than0  and less than 1"},
        {Parse({"Custom Value 13=3001", "Custom Value 4=21"}),
         "Duty cycle number of duty cycle, transfinite number of exports\nallowed band 0 up to "
         "3000"},
        {Parse({"Rated Rotor Speed=3001"}),
         "Mechanical speed" FWC "input overrun\nallowed band 0 up to 3000"},
    };
    for (const auto& r : refused) {
        const auto err = ApplyAssignments(r.set, s);
        ASSERT_TRUE(err) << r.message;
        EXPECT_EQ(err->Text, r.message);
        for (const ParameterField& f : ParameterFields())
            EXPECT_TRUE(SameField(s.Params, before.Params, f.Id)) << f.Name;
        EXPECT_EQ(s.CountsPerRev, before.CountsPerRev);
    }

    // Accepted: only the named fields change, with the pages' conversions and derivations.
    ASSERT_FALSE(ApplyAssignments(
        Parse({"Locked-rotor Current=6", "Rated Current=5", "Maximum Speed=1499.5", "MaxPos=10.99",
               "Pole Pairs=2.7", "Custom Flag 9=7", "Motor Direction=5"}),
        s));
    EXPECT_EQ(s.Params.Motor.RatedCurrent, 5.0f);
    EXPECT_EQ(s.Params.Motor.PolePairs, 2);
    EXPECT_EQ(s.Params.Application.MaximumSpeed, 1500);
    EXPECT_EQ(s.Params.Application.MaxPos, 10.99f);
    EXPECT_EQ(s.Params.Application.AppliedMaxPos, 10);
    EXPECT_EQ(s.Params.Application.Deceleration, 300) << "the page's zeroing is not applied";
    EXPECT_EQ(s.Params.Application.MotorDirection, 1);
    EXPECT_EQ(s.Params.Custom.CustomFlags[9], 1);
    EXPECT_EQ(s.CountsPerRev, 4000u) << "a motor field sets CountsPerRev as the motor page does";
}

}  // namespace
}  // namespace torvane
