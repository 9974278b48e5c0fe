#include "tuning/loop_page.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "protocol/number_text.h"
#include "serial/timing.h"
#include "tuning/auto_tune_box.h"
#include "tuning/auto_tune_run.h"
#include "tuning/loop_test_dlg.h"
#include "tuning/step_test_analysis.h"
#include "tuning/step_test_check.h"
#include "tuning/test_data_file.h"
#include "ui/dialog_key_filter.h"
#include "ui/labelled.h"
#include "ui/prompt_notice_sink.h"
#include "ui/user_prompts.h"

using torvane::LoopTest;

namespace {

size_t Index(LoopTest loop) {
    return static_cast<size_t>(loop);
}

// The test box is registered under the test it shows, so only that test's timer writes into it.
torvane::ProgressBoxKind BoxKindOf(LoopTest loop) {
    switch (loop) {
        case LoopTest::Current:
            return torvane::ProgressBoxKind::CurrentLoopTest;
        case LoopTest::Speed:
            return torvane::ProgressBoxKind::SpeedLoopTest;
        case LoopTest::Position:
            break;
    }
    return torvane::ProgressBoxKind::PositionLoopTest;
}

const char* LoopTitle(LoopTest loop) {
    switch (loop) {
        case LoopTest::Current:
            return "Current Loop";
        case LoopTest::Speed:
            return "Speed Loop";
        case LoopTest::Position:
            return "Position Loop";
    }
    return "";
}

QString GainsLabel(const torvane::LoopGains& g) {
    return QString::fromStdString(torvane::GainsText(g));
}

QString Lines(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& line : lines) out << QString::fromStdString(line);
    return out.join('\n');
}

void Append(CTChart::Series* series, const torvane::PlotSeries& data) {
    for (const torvane::PlotPoint& p : data.Points) {
        if (data.Append == torvane::AppendKind::Value) {
            series->AppendValue(p.Y, QString(), data.Colour);
        } else {
            series->AppendPoint(p.X, p.Y, QString(), data.Colour);
        }
    }
}

// The previous response: the colour of "actual value" (blue), lightened so the new response
// stands out in front of it.
const QColor kPreviousColour(0x8C, 0xAA, 0xFF);
constexpr const char* kPreviousTitle = "previous";
// The responses an auto-tune tried: the actual value's blue, mostly transparent, so a few lie
// quietly behind the best and many still read as a band.
const QColor kTriedColour(0x00, 0x00, 0xFF, 0x38);
constexpr const char* kTriedTitle = "tested";
constexpr const char* kNoFigures = "No test yet";

}  // namespace

CDlgFileNewPID::CDlgFileNewPID(torvane::DriveState& state, torvane::PageRequests& requests,
                               QWidget* parent)
    : QDialog(parent), state_(state), requests_(requests) {
    setObjectName("loopPage");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setSizeGripEnabled(true);
    BuildWindow();
    testBox_ = new CDlgFileLoopTest(this);
    tuneBox_ = new AutoTuneBox(this);
    DialogKeyFilter::Install(this);
    for (auto& f : figures_) f = kNoFigures;
}

CDlgFileNewPID::~CDlgFileNewPID() = default;

QLineEdit* CDlgFileNewPID::NewEdit(const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setMaxLength(kMaxEntryLength);
    edit->setFixedWidth(80);  // one width, so the columns of the three groups line up
    // Any change of an entry's text, typed or set, marks the page as edited; the opening
    // clears the mark after it has filled the entries.
    connect(edit, &QLineEdit::textChanged, this, [this] { modified_ = true; });
    return edit;
}

void CDlgFileNewPID::BuildWindow() {
    auto* columns = new QHBoxLayout;

    auto* left = new QVBoxLayout;
    left->addWidget(BuildCurrentGroup());
    left->addWidget(BuildSpeedGroup());
    left->addWidget(BuildPositionGroup());
    left->addStretch();
    columns->addLayout(left);

    auto* middle = new QVBoxLayout;
    middle->addWidget(BuildProcessingGroup());
    middle->addWidget(BuildDisplayGroup(), 1);
    columns->addLayout(middle, 1);

    columns->addWidget(BuildFiguresColumn());

    back_ = new QPushButton("Back", this);
    back_->setObjectName("backButton");
    next_ = new QPushButton("Next", this);
    next_->setObjectName("nextButton");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cancelButton");
    for (QPushButton* b : {back_, next_, cancel}) b->setAutoDefault(false);
    connect(back_, &QPushButton::clicked, this, &CDlgFileNewPID::OnBack);
    connect(next_, &QPushButton::clicked, this, &CDlgFileNewPID::OnNext);
    connect(cancel, &QPushButton::clicked, this, &CDlgFileNewPID::OnCancel);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(back_);
    bottom->addWidget(next_);
    bottom->addWidget(cancel);
    bottom->addStretch();

    auto* page = new QVBoxLayout(this);
    page->addLayout(columns, 1);
    page->addLayout(bottom);
    resize(1280, 680);
}

// The loop's P, I and D entries down the group's first two columns; the test fields go from
// column 3 (label, field, unit), with the spare width between them.
QGridLayout* CDlgFileNewPID::GainGrid(QGroupBox* group, LoopTest loop) {
    static const char* const kNames[3][3] = {
        {"currentPEdit", "currentIEdit", "currentDEdit"},
        {"speedPEdit", "speedIEdit", "speedDEdit"},
        {"positionPEdit", "positionIEdit", "positionDEdit"}};
    LoopWidgets& w = loops_[Index(loop)];
    const char* const* names = kNames[Index(loop)];
    w.P = NewEdit(names[0]);
    w.I = NewEdit(names[1]);
    w.D = NewEdit(names[2]);
    auto* grid = new QGridLayout(group);
    grid->addWidget(LabelFor("P", w.P, group), 0, 0);
    grid->addWidget(w.P, 0, 1);
    grid->addWidget(LabelFor("I", w.I, group), 1, 0);
    grid->addWidget(w.I, 1, 1);
    grid->addWidget(LabelFor("D", w.D, group), 2, 0);
    grid->addWidget(w.D, 2, 1);
    grid->setColumnMinimumWidth(2, 12);
    grid->setColumnStretch(2, 1);
    // The same label and unit widths in every group, so the test fields of the three groups
    // stand in one column.
    const QFontMetrics metrics = group->fontMetrics();
    grid->setColumnMinimumWidth(3, metrics.horizontalAdvance("Sinusoidal Frequency"));
    grid->setColumnMinimumWidth(5, metrics.horizontalAdvance("RPM"));
    return grid;
}

void CDlgFileNewPID::AddTestButtons(QGridLayout* grid, LoopTest loop, int row) {
    static const char* const kNames[3] = {"currentTestButton", "speedTestButton",
                                          "positionTestButton"};
    static const char* const kTuneNames[3] = {"currentAutoTuneButton", "speedAutoTuneButton",
                                              "positionAutoTuneButton"};
    auto* test = new QPushButton("Test", this);
    test->setObjectName(kNames[Index(loop)]);
    test->setAutoDefault(false);
    connect(test, &QPushButton::clicked, this, [this, loop] { RunTest(loop); });
    auto* tune = new QPushButton(torvane::kAutoTuneTitle, this);
    tune->setObjectName(kTuneNames[Index(loop)]);
    tune->setAutoDefault(false);
    tune->setToolTip("Finds better gains by a series of step tests; they are not stored");
    connect(tune, &QPushButton::clicked, this, [this, loop] { AutoTune(loop); });
    grid->addWidget(tune, row, 3, Qt::AlignRight);
    grid->addWidget(test, row, 4);
}

QGroupBox* CDlgFileNewPID::BuildCurrentGroup() {
    auto* group = new QGroupBox(LoopTitle(LoopTest::Current), this);
    group->setObjectName("currentLoopGroup");
    QGridLayout* grid = GainGrid(group, LoopTest::Current);
    typeCombo_ = new QComboBox(this);
    typeCombo_->setObjectName("currentTypeCombo");
    typeCombo_->addItem("Step Current");
    connect(typeCombo_, &QComboBox::currentIndexChanged, this,
            &CDlgFileNewPID::OnCurrentTypeChanged);
    amplitude_ = NewEdit("currentAmplitudeEdit");
    frequency_ = NewEdit("sinusoidalFrequencyEdit");

    grid->addWidget(LabelFor("Current Type", typeCombo_, group), 0, 3);
    grid->addWidget(typeCombo_, 0, 4, 1, 2);
    grid->addWidget(LabelFor("Current Amplitude", amplitude_, group), 1, 3);
    grid->addWidget(amplitude_, 1, 4);
    grid->addWidget(new QLabel("A", group), 1, 5);
    grid->addWidget(LabelFor("Sinusoidal Frequency", frequency_, group), 2, 3);
    grid->addWidget(frequency_, 2, 4);
    grid->addWidget(new QLabel("Hz", group), 2, 5);
    AddTestButtons(grid, LoopTest::Current, 3);
    return group;
}

QGroupBox* CDlgFileNewPID::BuildSpeedGroup() {
    auto* group = new QGroupBox(LoopTitle(LoopTest::Speed), this);
    group->setObjectName("speedLoopGroup");
    QGridLayout* grid = GainGrid(group, LoopTest::Speed);
    setSpeed_ = NewEdit("setSpeedEdit");
    grid->addWidget(LabelFor("Set Speed", setSpeed_, group), 0, 3);
    grid->addWidget(setSpeed_, 0, 4);
    grid->addWidget(new QLabel("RPM", group), 0, 5);
    AddTestButtons(grid, LoopTest::Speed, 2);
    return group;
}

QGroupBox* CDlgFileNewPID::BuildPositionGroup() {
    auto* group = new QGroupBox(LoopTitle(LoopTest::Position), this);
    group->setObjectName("positionLoopGroup");
    QGridLayout* grid = GainGrid(group, LoopTest::Position);
    maxSpeed_ = NewEdit("maximumSpeedEdit");
    target_ = NewEdit("targetPositionEdit");
    // The application's Acceleration, sent with the test; and a deceleration entry the test
    // does not use. Both are kept out of sight.
    acceleration_ = NewEdit("accelerationEdit");
    acceleration_->hide();
    deceleration_ = NewEdit("decelerationEdit");
    deceleration_->hide();
    auto* decelerationLabel = LabelFor("Deceleration", deceleration_, group);
    decelerationLabel->hide();
    auto* decelerationUnit = new QLabel("P/s2", group);
    decelerationUnit->hide();

    grid->addWidget(LabelFor("Maximum Speed", maxSpeed_, group), 0, 3);
    grid->addWidget(maxSpeed_, 0, 4);
    grid->addWidget(new QLabel("RPM", group), 0, 5);
    grid->addWidget(LabelFor("Target Position", target_, group), 1, 3);
    grid->addWidget(target_, 1, 4);
    grid->addWidget(new QLabel(QString::fromUtf8("°"), group), 1, 5);
    AddTestButtons(grid, LoopTest::Position, 2);
    grid->addWidget(acceleration_, 3, 1);
    grid->addWidget(decelerationLabel, 3, 3);
    grid->addWidget(deceleration_, 3, 4);
    grid->addWidget(decelerationUnit, 3, 5);
    return group;
}

QGroupBox* CDlgFileNewPID::BuildProcessingGroup() {
    auto* group = new QGroupBox("Waveform Processing", this);
    group->setObjectName("waveformProcessingGroup");
    auto* row = new QHBoxLayout(group);
    const struct {
        const char* text;
        const char* name;
        LoopTest loop;
    } saves[] = {
        {"Save current loop data", "saveCurrentButton", LoopTest::Current},
        {"Save speed loop data", "saveSpeedButton", LoopTest::Speed},
        {"Save position loop data", "savePositionButton", LoopTest::Position},
    };
    for (const auto& s : saves) {
        auto* button = new QPushButton(s.text, group);
        button->setObjectName(s.name);
        button->setAutoDefault(false);
        const LoopTest loop = s.loop;
        connect(button, &QPushButton::clicked, this, [this, loop] { SaveData(loop); });
        row->addWidget(button);
    }
    row->addStretch();
    auto* clear = new QPushButton("Clear previous response", group);
    clear->setObjectName("clearComparisonButton");
    clear->setAutoDefault(false);
    clear->setToolTip("Removes the earlier response drawn for comparison in a light colour");
    connect(clear, &QPushButton::clicked, this, &CDlgFileNewPID::ClearComparison);
    row->addWidget(clear);
    return group;
}

QGroupBox* CDlgFileNewPID::BuildDisplayGroup() {
    displayGroup_ = new QGroupBox("Waveform Display", this);
    displayGroup_->setObjectName("waveformDisplayGroup");
    displayGroup_->setMinimumSize(480, 420);
    // The charts are placed by the layout rule, not by a layout manager.
    upper_ = new CTChart(displayGroup_);
    upper_->setObjectName("upperChart");
    upper_->ConfigureResponseUpper();
    // Beneath the new response, which stands in front of it.
    previous_ = upper_->AddBackgroundSeries(kPreviousTitle, kPreviousColour, 2);
    lower_ = new CTChart(displayGroup_);
    lower_->setObjectName("lowerChart");
    lower_->ConfigureResponseLower();
    // The legends sit over the curves: let the curves show through them.
    for (CTChart* chart : {upper_, lower_})
        chart->Plot()->legend->setBrush(QColor(255, 255, 255, 190));
    displayGroup_->installEventFilter(this);
    return displayGroup_;
}

QWidget* CDlgFileNewPID::BuildFiguresColumn() {
    auto* column = new QWidget(this);
    column->setObjectName("figuresColumn");
    column->setFixedWidth(280);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* figures = new QGroupBox("Response Figures", column);
    figures->setObjectName("responseFiguresGroup");
    auto* inner = new QVBoxLayout(figures);
    const char* names[] = {"currentFiguresLabel", "speedFiguresLabel", "positionFiguresLabel"};
    for (LoopTest loop : torvane::kLoopTests) {
        auto* label = new QLabel(kNoFigures, figures);
        label->setObjectName(names[Index(loop)]);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto* title = new QLabel(LoopTitle(loop), figures);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        inner->addWidget(title);
        inner->addWidget(label);
        loops_[Index(loop)].Figures = label;
    }
    inner->addStretch();
    layout->addWidget(figures, 1);

    auto* note = new QLabel("Note", column);
    note->setObjectName("noteLabel");
    auto* noteText = new QLabel(kNoteText, column);
    noteText->setObjectName("noteTextLabel");
    noteText->setTextFormat(Qt::PlainText);
    noteText->setWordWrap(true);
    noteText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(note);
    layout->addWidget(noteText);
    return column;
}

std::pair<QRect, QRect> CDlgFileNewPID::ChartRects(const QRect& group) {
    const int l = group.x();
    const int t = group.y();
    const int r = group.x() + group.width();
    const int b = group.y() + group.height();
    const int m = (t + b) / 2;
    // Corners as (left, top, right, bottom) with exclusive right and bottom edges.
    auto rect = [](int left, int top, int right, int bottom) {
        return QRect(left, top, right - left, bottom - top);
    };
    return {rect(l + 10, t + 15, r - 10, m + 10), rect(l + 10, m + 10, r - 10, b - 10)};
}

QRect CDlgFileNewPID::DisplayGroupRect() const {
    // The group below its title. Qt's styles draw the title above the group's box, where the
    // Windows group box draws it across its top line: measured from the widget's own top, the
    // upper chart would cover the title.
    QStyleOptionGroupBox option;
    option.initFrom(displayGroup_);
    option.text = displayGroup_->title();
    option.textAlignment = displayGroup_->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect label = displayGroup_->style()->subControlRect(
        QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, displayGroup_);
    QRect rect(QPoint(0, 0), displayGroup_->size());
    rect.setTop(std::clamp(label.bottom() + 1, 0, rect.height() / 2));
    return rect.translated(displayGroup_->mapTo(this, QPoint(0, 0)));
}

void CDlgFileNewPID::LayoutCharts() {
    const QPoint origin = displayGroup_->mapTo(this, QPoint(0, 0));
    const auto [upper, lower] = ChartRects(DisplayGroupRect());
    // The charts are the group's children: the same rectangles in its coordinates.
    upper_->setGeometry(upper.translated(-origin));
    lower_->setGeometry(lower.translated(-origin));
    upper_->update();
    lower_->update();
}

bool CDlgFileNewPID::eventFilter(QObject* watched, QEvent* event) {
    if (watched == displayGroup_ && event->type() == QEvent::Resize) LayoutCharts();
    return QDialog::eventFilter(watched, event);
}

void CDlgFileNewPID::Initialise() {
    LayoutCharts();
    if (modifyMode_) {
        setWindowTitle(kModifyTitle);
        next_->setText("Save");
        back_->hide();
    } else {
        setWindowTitle(QString::fromUtf8(kNewTitle));
        next_->setText("Next");
        back_->show();
    }
    frequency_->setEnabled(false);

    const torvane::LoopGroup& gains = state_.Params.Loop;
    for (LoopTest loop : torvane::kLoopTests) {
        const torvane::GainTexts texts = torvane::GainTextsOf(torvane::LoopGainsOf(gains, loop));
        LoopWidgets& w = loops_[Index(loop)];
        w.P->setText(QString::fromStdString(texts.P));
        w.I->setText(QString::fromStdString(texts.I));
        w.D->setText(QString::fromStdString(texts.D));
        if (loop == LoopTest::Current) {
            typeCombo_->setCurrentIndex(0);
            currentType_ = 0;
            amplitude_->setText("1");
            frequency_->clear();
        } else if (loop == LoopTest::Speed) {
            setSpeed_->setText("1000");
        } else {
            maxSpeed_->setText("1000");
            target_->setText("10000");
            acceleration_->setText(
                QString::fromStdString(torvane::FormatD(state_.Params.Application.Acceleration)));
            deceleration_->setText("100");
        }
    }

    // A page opened afresh shows empty charts; the responses kept for comparison stay.
    upper_->ResetDisplayFlag();
    lower_->ResetDisplayFlag();
    series_ = {upper_->SeriesAt(0), upper_->SeriesAt(1), upper_->SeriesAt(2), lower_->SeriesAt(0)};
    for (CTChart::Series* s : series_) s->ClearPoints();
    previous_->ClearPoints();
    previous_->Graph()->removeFromLegend();

    modified_ = false;
}

int CDlgFileNewPID::Run() {
    Initialise();
    return exec();
}

void CDlgFileNewPID::OnCurrentTypeChanged(int index) {
    currentType_ = index;
    frequency_->setEnabled(index != 0);
}

torvane::GainTexts CDlgFileNewPID::GainTextsOf(LoopTest loop) const {
    const LoopWidgets& w = loops_[Index(loop)];
    return {w.P->text().toStdString(), w.I->text().toStdString(), w.D->text().toStdString()};
}

void CDlgFileNewPID::OnNext() {
    const std::array<torvane::GainTexts, 3> texts = {GainTextsOf(LoopTest::Current),
                                                     GainTextsOf(LoopTest::Speed),
                                                     GainTextsOf(LoopTest::Position)};
    if (const auto refused = torvane::CheckAndStoreAllLoopGains(texts, state_.Params.Loop)) {
        PromptNoticeSink().Notice(refused->Text, refused->Icon);
        return;
    }
    done(1);
}

void CDlgFileNewPID::OnBack() {
    done(3);
}

void CDlgFileNewPID::OnCancel() {
    if (modified_ && !Prompts().Confirm(kCancelQuestion)) return;
    done(2);
}

void CDlgFileNewPID::reject() {
    OnCancel();
}

torvane::StepTestCheck CDlgFileNewPID::CheckTest(LoopTest test) const {
    torvane::StepTestCheck check;
    switch (test) {
        case LoopTest::Current:
            check = torvane::CheckCurrentTest(
                {GainTextsOf(test), static_cast<uint8_t>(currentType_),
                 amplitude_->text().toStdString(), frequency_->text().toStdString()},
                state_, motorEnabled_);
            break;
        case LoopTest::Speed:
            check = torvane::CheckSpeedTest({GainTextsOf(test), setSpeed_->text().toStdString()},
                                            state_, motorEnabled_);
            break;
        case LoopTest::Position:
            check = torvane::CheckPositionTest(
                {GainTextsOf(test), maxSpeed_->text().toStdString(), target_->text().toStdString(),
                 acceleration_->text().toStdString()},
                state_, motorEnabled_);
            break;
    }
    return check;
}

void CDlgFileNewPID::RunTest(LoopTest test) {
    const torvane::StepTestCheck check = CheckTest(test);
    // A loop's gains are stored once their check passed, even when a test field is refused.
    torvane::StoreStepTestCheck(check, state_);
    if (!check.Passed()) {
        PromptNoticeSink().Notice(check.Refused->Text, check.Refused->Icon);
        return;
    }
    const torvane::LoopGains gains = *check.Gains;

    switch (test) {
        case LoopTest::Current:
            requests_.StartCurrentLoopTest();
            break;
        case LoopTest::Speed:
            requests_.StartSpeedLoopTest();
            break;
        case LoopTest::Position:
            requests_.StartPositionLoopTest();
            break;
    }
    // The box runs even when the start failed: the user closes it, which sends the stop.
    testBox_->SetState(2);
    const torvane::ProgressBoxKind box = BoxKindOf(test);
    requests_.SetOpenBox(box, testBox_);
    const int result = testBox_->Run();
    requests_.SetOpenBox(box, nullptr);

    if (result == 2) {
        switch (test) {
            case LoopTest::Current:
                requests_.StopCurrentLoopTest();
                break;
            case LoopTest::Speed:
                requests_.StopSpeedLoopTest();
                break;
            case LoopTest::Position:
                requests_.StopPositionLoopTest();
                break;
        }
    } else if (result == 1) {
        Plot(test, gains);
    }
}

void CDlgFileNewPID::Plot(LoopTest test, const torvane::LoopGains& gains) {
    const torvane::StepTestAnalysis analysis = torvane::AnalyseStepTest(test, state_);
    Plot(test, gains, analysis.Plot, analysis.Figures);
}

void CDlgFileNewPID::Plot(LoopTest test, const torvane::LoopGains& gains,
                          const torvane::ResponsePlot& plot, const torvane::StepFigures& figures) {
    ShowResponse(test, plot, gains);
    QString text = GainsLabel(gains);
    for (const std::string& line : torvane::FormatStepFigures(figures))
        text += "\n" + QString::fromStdString(line);
    figures_[Index(test)] = text;
    loops_[Index(test)].Figures->setText(text);
}

void CDlgFileNewPID::DrawSeries(const torvane::ResponsePlot& plot) {
    for (CTChart::Series* s : series_) s->ClearPoints();
    Append(series_[0], plot.UpperSet);
    Append(series_[1], plot.UpperActual);
    Append(series_[2], plot.UpperDeviation);
    Append(series_[3], plot.LowerActual);
}

void CDlgFileNewPID::ShowResponse(LoopTest test, const torvane::ResponsePlot& plot,
                                  const torvane::LoopGains& gains) {
    previous_->ClearPoints();
    previous_->Graph()->removeFromLegend();
    DrawSeries(plot);

    // The previous response of this loop, for comparison; this one becomes the next previous.
    // It is drawn from the set value this one starts from: a position test moves on from where
    // the last one ended, and the two moves are compared, not the two places.
    LoopResponse& last = last_[Index(test)];
    if (!plot.UpperActual.Points.empty()) {
        const double start = plot.UpperSet.Points.front().Y;
        if (last.Present) {
            const double offset = start - last.SetStart;
            QString name = QString("%1 (%2)").arg(kPreviousTitle, GainsLabel(last.Gains));
            if (offset != 0) {
                name += QString::fromStdString((offset > 0 ? ", moved by +" : ", moved by ") +
                                               torvane::FormatG(offset));
            }
            previous_->Graph()->setName(name);
            previous_->Graph()->addToLegend();
            torvane::PlotSeries moved = last.Actual;
            for (torvane::PlotPoint& p : moved.Points) p.Y += offset;
            Append(previous_, moved);
        }
        last = {true, gains, start, plot.UpperActual};
    }
    upper_->FitToData();
    lower_->FitToData();
}

void CDlgFileNewPID::DrawTry(const torvane::PlotSeries& actual) {
    if (triesUsed_ == tries_.size())
        tries_.push_back(upper_->AddBackgroundSeries(kTriedTitle, kTriedColour, 1));
    // One legend entry stands for them all.
    if (triesUsed_ == 0) tries_[0]->Graph()->addToLegend();
    Append(tries_[triesUsed_++], actual);
}

void CDlgFileNewPID::ClearTries() {
    for (size_t k = 0; k < triesUsed_; ++k) tries_[k]->ClearPoints();
    if (!tries_.empty()) tries_[0]->Graph()->removeFromLegend();
    triesUsed_ = 0;
}

int CDlgFileNewPID::TriedResponses() const {
    return static_cast<int>(triesUsed_);
}

void CDlgFileNewPID::SetGainEntries(LoopTest loop, const torvane::LoopGains& gains) {
    // Read back by Save and Next as the very gains the drive holds.
    const torvane::GainTexts texts = torvane::ExactGainTexts(gains);
    LoopWidgets& w = loops_[Index(loop)];
    w.P->setText(QString::fromStdString(texts.P));
    w.I->setText(QString::fromStdString(texts.I));
    w.D->setText(QString::fromStdString(texts.D));
}

void CDlgFileNewPID::AutoTune(LoopTest loop) {
    // What the drive's gain register holds: what the page was opened with, or what its last
    // test wrote. Taken before the check stores the entries.
    const torvane::LoopGains original = torvane::LoopGainsOf(state_.Params.Loop, loop);
    const torvane::StepTestCheck check = CheckTest(loop);
    torvane::StoreStepTestCheck(check, state_);
    if (!check.Passed()) {
        PromptNoticeSink().Notice(check.Refused->Text, check.Refused->Icon);
        return;
    }
    torvane::AutoTuneSetup setup;
    setup.Loop = loop;
    setup.Start = *check.Gains;
    setup.Original = original;
    std::vector<torvane::ResponsePlot> plots;  // by test number - 1
    torvane::AutoTuneRun run(setup, [&plots](const torvane::TunedTest& t,
                                             const torvane::StepTestAnalysis& a) {
        plots.resize(std::max(plots.size(), static_cast<size_t>(t.Number)));
        plots[static_cast<size_t>(t.Number) - 1] = a.Plot;
    });

    // The run is drawn on a clean chart.
    for (CTChart::Series* s : series_) s->ClearPoints();
    previous_->ClearPoints();
    previous_->Graph()->removeFromLegend();
    ClearTries();
    int bestShown = 0;
    const auto refresh = [&] {
        bool drawn = false;
        while (triesUsed_ < plots.size()) {
            DrawTry(plots[triesUsed_].UpperActual);
            drawn = true;
        }
        if (const auto best = run.Tuner().Best();
            best && best->Number != bestShown && static_cast<size_t>(best->Number) <= plots.size()) {
            DrawSeries(plots[static_cast<size_t>(best->Number) - 1]);
            bestShown = best->Number;
            drawn = true;
        }
        if (drawn) {
            upper_->FitToData();
            lower_->FitToData();
        }
        tuneBox_->SetProgress(QString::fromStdString(
            torvane::TestProgressText(run.TestNumber(), run.Tuner().MaxTests())));
        tuneBox_->SetBest(Lines(torvane::BestSoFarLines(run.Tuner())));
    };

    // One tick at a time, the next one armed only after it: a tick never runs inside another.
    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(torvane::PeriodMs(torvane::kAutoTunePollMs));
    connect(&timer, &QTimer::timeout, this, [&] {
        requests_.RunWithContext([&](torvane::CommandContext& ctx) { run.Tick(ctx); });
        refresh();
        if (run.Done()) {
            tuneBox_->done(1);
        } else {
            timer.start();
        }
    });
    const auto cancel = [&] {
        timer.stop();
        requests_.RunWithContext([&](torvane::CommandContext& ctx) { run.Cancel(ctx); });
        tuneBox_->done(2);
    };
    const QMetaObject::Connection cancelled =
        connect(tuneBox_, &AutoTuneBox::cancelRequested, this, cancel);
    refresh();
    timer.start();
    // Below the loop groups, where it hides no curve.
    tuneBox_->adjustSize();
    const QWidget* below = findChild<QGroupBox*>("positionLoopGroup");
    tuneBox_->move(below->mapToGlobal(QPoint(0, below->height() + 8)));
    tuneBox_->exec();
    disconnect(cancelled);
    timer.stop();
    if (!run.Done()) cancel();  // the box went away some other way

    ClearTries();
    // The entries show what the gain register holds now.
    const torvane::LoopGains held = torvane::LoopGainsOf(state_.Params.Loop, loop);
    SetGainEntries(loop, held);
    const torvane::AutoTuneResult& result = run.Tuner().Result();
    if (!run.Succeeded()) {
        // The chart shows a response of the gains held, when the run has one: its first test.
        if (!plots.empty() && !result.Tests.empty() && held == result.Tests.front().Gains) {
            Plot(loop, held, plots.front(), result.Tests.front().Score.Figures);
        } else {
            for (CTChart::Series* s : series_) s->ClearPoints();
            upper_->FitToData();
            lower_->FitToData();
        }
        PromptNoticeSink sink;
        run.Report(sink);
        return;
    }
    // The confirming repeat of the tuned gains, else their last test.
    size_t tuned = plots.size();
    for (size_t k = result.Tests.size(); k-- > 0;) {
        if (result.Tests[k].Gains == result.Tuned && k < plots.size()) {
            tuned = k;
            break;
        }
    }
    if (!plots.empty() && tuned < plots.size()) {
        // The starting response becomes the previous one, drawn beside the result.
        const torvane::ResponsePlot& start = plots.front();
        LoopResponse& last = last_[Index(loop)];
        last.Present = !start.UpperActual.Points.empty();
        if (last.Present) last = {true, result.Start, start.UpperSet.Points.front().Y,
                                  start.UpperActual};
        ShowResponse(loop, plots[tuned], result.Tuned);
    }
    const QString text = Lines(torvane::StartToResultLines(result));
    figures_[Index(loop)] = text;
    loops_[Index(loop)].Figures->setText(text);
}

QString CDlgFileNewPID::FiguresText(LoopTest loop) const {
    return figures_[Index(loop)];
}

void CDlgFileNewPID::ClearComparison() {
    previous_->ClearPoints();
    previous_->Graph()->removeFromLegend();
    upper_->FitToData();
}

void CDlgFileNewPID::SaveData(LoopTest test) {
    const torvane::TestDataSave saved = torvane::SaveTestData(test, state_, std::time(nullptr));
    if (saved.Error)
        Prompts().Notice(QString::fromStdString(*saved.Error), UserPrompts::Icon::Error);
}
