#include "params/motor_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "params/page_widgets.h"
#include "ui/labelled.h"
#include "ui/user_prompts.h"

using page::Q;
using page::S;

CDlgFileNewMotor::CDlgFileNewMotor(torvane::DriveState& state, torvane::PageRequests& requests,
                                   QWidget* parent)
    : ParameterPage(parent), state_(state), requests_(requests) {
    setObjectName("motorPage");
    matchBox_ = new CDlgFileMotorMatch(this);

    auto* feedback = new QGroupBox("Feedback Type", this);
    feedback->setObjectName("feedbackTypeGroup");
    auto* feedbackGrid = new QGridLayout(feedback);
    polePairsEdit_ = page::Entry(feedback, "polePairsEdit");
    feedbackTypeCombo_ = page::List(feedback, "feedbackTypeCombo", {"Absolute encoder"});
    encoderLinesEdit_ = page::Entry(feedback, "encoderLinesEdit");
    MakeReadOnlyLook(encoderLinesEdit_);
    encoderLinesUnit_ = page::Text(feedback, "lines", "encoderLinesUnit");
    page::Row(feedbackGrid, 0, 0, "Pole-pairs", polePairsEdit_,
              page::Text(feedback, "pairs", "polePairsUnit"));
    page::Row(feedbackGrid, 1, 0, "Feedback Type", feedbackTypeCombo_);
    encoderLinesLabel_ =
        page::Row(feedbackGrid, 2, 0, "Encoder Lines", encoderLinesEdit_, encoderLinesUnit_);
    encoderLinesLabel_->setObjectName("encoderLinesLabel");
    feedbackGrid->setColumnStretch(1, 1);

    auto* motor = new QGroupBox("Motor Parameters", this);
    motor->setObjectName("motorParametersGroup");
    auto* motorGrid = new QGridLayout(motor);
    ratedCurrentEdit_ = page::Entry(motor, "ratedCurrentEdit");
    lockedRotorCurrentEdit_ = page::Entry(motor, "lockedRotorCurrentEdit");
    page::Row(motorGrid, 0, 0, "Rated Current", ratedCurrentEdit_,
              page::Text(motor, "A", "ratedCurrentUnit"));
    page::Row(motorGrid, 1, 0, "Olcked Rotor Current", lockedRotorCurrentEdit_,
              page::Text(motor, "A", "lockedRotorCurrentUnit"));
    motorGrid->setColumnStretch(1, 1);

    auto* matching = new QGroupBox("Motor Matching", this);
    matching->setObjectName("motorMatchingGroup");
    auto* matchingGrid = new QGridLayout(matching);
    matchingStateCombo_ =
        page::List(matching, "matchingStateCombo", {"Unmatch", "Matched", "Failure to match"});
    matchingStateCombo_->setEnabled(false);
    matchButton_ = page::Button(matching, "Match", "matchButton");
    page::Row(matchingGrid, 0, 0, "Matching State", matchingStateCombo_);
    matchingGrid->addWidget(matchButton_, 0, 2);
    matchingGrid->setColumnStretch(1, 1);

    // The three groups' entry columns line up.
    const int labelWidth = fontMetrics().horizontalAdvance("Olcked Rotor Current") + 8;
    for (QGridLayout* grid : {feedbackGrid, motorGrid, matchingGrid}) {
        grid->setColumnMinimumWidth(0, labelWidth);
        grid->setColumnMinimumWidth(2, fontMetrics().horizontalAdvance("pairs") + 8);
    }

    nextButton_ = page::Button(this, "Next", "nextButton");
    auto* cancel = page::Button(this, "Cancel", "cancelButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(nextButton_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(feedback);
    layout->addWidget(motor);
    layout->addWidget(matching);
    layout->addSpacing(6);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    WatchForEdits({polePairsEdit_, encoderLinesEdit_, ratedCurrentEdit_, lockedRotorCurrentEdit_});
    connect(feedbackTypeCombo_, &QComboBox::activated, this,
            [this] { ShowEncoderLines("Encoder Lines", "lines", Q(encoderLinesText_)); });
    connect(matchButton_, &QPushButton::clicked, this, [this] { Match(); });
    connect(nextButton_, &QPushButton::clicked, this, [this] { Next(); });
    connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
}

void CDlgFileNewMotor::Initialise() {
    setWindowTitle(QString::fromUtf8(ModifyMode ? kModifyTitle : kNewTitle));
    nextButton_->setText(ModifyMode ? "Save" : "Next");

    const torvane::ParameterSet& set = state_.Params;
    const torvane::MotorPageEntries e = torvane::MotorEntriesFrom(set);
    polePairsEdit_->setText(Q(e.PolePairs));
    feedbackTypeCombo_->setCurrentIndex(e.FeedbackTypeIndex);
    ratedCurrentEdit_->setText(Q(e.RatedCurrent));
    lockedRotorCurrentEdit_->setText(Q(e.LockedRotorCurrent));
    ratedRotorSpeedText_ = e.RatedRotorSpeed;
    hallSequenceIndex_ = e.HallSequenceIndex;
    const uint8_t marks = set.Matching.MatchMarks;
    matchingStateCombo_->setCurrentIndex(marks <= 2 ? marks : -1);

    encoderLinesText_ = torvane::FormatField(set, torvane::FieldId::EncoderLines);
    if (set.Motor.FeedbackType == 2) {
        ShowEncoderLines("Encoder Type", "BIT", Q(e.EncoderLines));
    } else {
        ShowEncoderLines("Encoder Lines", "lines", Q(encoderLinesText_));
    }
}

void CDlgFileNewMotor::ShowEncoderLines(const QString& label, const QString& unit,
                                        const QString& text) {
    encoderLinesLabel_->setText(label);
    encoderLinesUnit_->setText(unit);
    encoderLinesEdit_->setText(text);
    encoderLinesEdit_->setAccessibleName(label);
}

bool CDlgFileNewMotor::Validate() {
    torvane::MotorPageEntries e;
    e.PolePairs = S(polePairsEdit_->text());
    e.FeedbackTypeIndex = feedbackTypeCombo_->currentIndex();
    if (e.FeedbackTypeIndex == 0) encoderLinesText_ = S(encoderLinesEdit_->text());
    e.EncoderLines = encoderLinesText_;
    e.RatedCurrent = S(ratedCurrentEdit_->text());
    e.LockedRotorCurrent = S(lockedRotorCurrentEdit_->text());
    e.RatedRotorSpeed = ratedRotorSpeedText_;
    e.HallSequenceIndex = hallSequenceIndex_;
    if (const auto refused = torvane::ValidateMotorPage(e, state_)) {
        torvane::ShowEntryError(Notices(), *refused);
        return false;
    }
    return true;
}

void CDlgFileNewMotor::Next() {
    if (Validate()) done(kAccepted);
}

void CDlgFileNewMotor::Match() {
    if (MotorEnabled) {
        Prompts().Notice(kMotorEnabledText);
        return;
    }
    if (!Validate()) return;
    // The box opens whatever the request did: a failed write has shown its error, and the
    // box then waits until the user closes it.
    (void)requests_.StartMotorMatch();
    matchBox_->SetState(2);
    requests_.SetOpenBox(torvane::ProgressBoxKind::Matching, matchBox_);
    const int result = matchBox_->exec();
    requests_.SetOpenBox(torvane::ProgressBoxKind::Matching, nullptr);
    if (result == 2) {
        (void)requests_.CancelMotorMatch();
    } else {
        matchingStateCombo_->setCurrentIndex(result == 1 ? 1 : 0);
    }
}
