// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/planning_window.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cmath>
#include <stdexcept>

#include "gui/background_run.h"
#include "gui/dialogs.h"

namespace {

// The exported figure: 7 inches wide at 300 dpi, as the result plots.
constexpr double kWidth_inches = 7;
constexpr int kDpi = 300;

// Numbers of a field: a list "a,b,c" or a range "a:b" or "a:b:step" (QString::toDouble reads
// the C locale whatever the user's).
std::vector<double> Values(const QLineEdit* field, const char* what) {
  const QString text = field->text().trimmed();
  const auto bad = [&] {
    return std::invalid_argument(std::string("The ") + what + " must be a number, a list a,b,c or a range a:b:step.");
  };
  std::vector<double> out;
  const QStringList range = text.split(QLatin1Char(':'));
  bool ok = true;
  if (range.size() == 2 || range.size() == 3) {
    const double a = range[0].toDouble(&ok);
    if (!ok) throw bad();
    const double b = range[1].toDouble(&ok);
    if (!ok) throw bad();
    double step = 1;
    if (range.size() == 3 && (!(step = range[2].toDouble(&ok), ok) || !(step > 0))) throw bad();
    if (!(b >= a) || (b - a) / step > 2000) throw bad();
    for (int k = 0; a + k * step <= b + 1e-9; ++k) out.push_back(a + k * step);
    return out;
  }
  for (const QString& part : text.split(QLatin1Char(','))) {
    const double v = part.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) throw bad();
    out.push_back(v);
  }
  return out;
}

double Value(const QLineEdit* field, const char* what, double lo, double hi) {
  bool ok = false;
  const double v = field->text().trimmed().toDouble(&ok);
  if (!ok || !(v >= lo && v <= hi))
    throw std::invalid_argument(std::string("The ") + what + " must be a number from " +
                                std::to_string(lo) + " to " + std::to_string(hi) + ".");
  return v;
}

QColor Curve_colour(std::size_t k) {
  static const QColor colours[] = {QColor(0, 90, 181), QColor(220, 50, 32), QColor(0, 140, 70),
                                   QColor(150, 60, 170), QColor(230, 140, 0), QColor(60, 60, 60)};
  return colours[k % std::size(colours)];
}

class tCurves_canvas : public QWidget {
 public:
  explicit tCurves_canvas(const tPower_curves* curves, QWidget* parent) : QWidget(parent), curves_(curves) {
    setMinimumSize(kCurves_width, kCurves_height);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.scale(width() / double(kCurves_width), height() / double(kCurves_height));
    Paint_power_curves(p, *curves_);
  }

 private:
  const tPower_curves* curves_;
};

}  // namespace

void Paint_power_curves(QPainter& p, const tPower_curves& c) {
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(70, 40, 460, 340);  // the plot area; the legend to its right
  p.setPen(Qt::black);
  p.drawText(QRectF(0, 5, kCurves_width, 25), Qt::AlignCenter, c.Title);
  double x_lo = 0, x_hi = 1;
  bool first = true;
  for (const auto& curve : c.Curves)
    for (const QPointF& pt : curve.Points) {
      x_lo = first ? pt.x() : std::min(x_lo, pt.x());
      x_hi = first ? pt.x() : std::max(x_hi, pt.x());
      first = false;
    }
  if (x_hi <= x_lo) x_hi = x_lo + 1;
  const auto map = [&](QPointF pt) {
    return QPointF(box.left() + (pt.x() - x_lo) / (x_hi - x_lo) * box.width(),
                   box.bottom() - pt.y() * box.height());
  };
  p.drawRect(box);
  for (int k = 0; k <= 5; ++k) {
    const double y = k / 5.0;
    const QPointF at = map({x_lo, y});
    p.drawLine(at, at - QPointF(5, 0));
    p.drawText(QRectF(at.x() - 50, at.y() - 8, 42, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(y, 'f', 1));
  }
  // Ticks at a round step of 1, 2 or 5 times a power of ten, about five of them.
  const double raw = (x_hi - x_lo) / 5;
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  const double step = raw / decade < 1.5 ? decade : raw / decade < 3.5 ? 2 * decade : 5 * decade;
  for (double x = std::ceil(x_lo / step - 1e-9) * step; x <= x_hi + 1e-9 * step; x += step) {
    const QPointF at = map({x, 0});
    p.drawLine(at, at + QPointF(0, 5));
    p.drawText(QRectF(at.x() - 40, at.y() + 6, 80, 16), Qt::AlignCenter,
               QString::number(std::abs(x) < 1e-9 * step ? 0.0 : x, 'g', 6));
  }
  p.drawText(QRectF(box.left(), box.bottom() + 24, box.width(), 18), Qt::AlignCenter, c.X_label);
  p.save();
  p.translate(18, box.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-60, -10, 120, 20), Qt::AlignCenter, QStringLiteral("Power"));
  p.restore();
  // The target power.
  p.setPen(QPen(Qt::gray, 1.5, Qt::DashLine));
  p.drawLine(map({x_lo, c.Target}), map({x_hi, c.Target}));
  for (std::size_t k = 0; k < c.Curves.size(); ++k) {
    const tPower_curve& curve = c.Curves[k];
    p.setPen(QPen(Curve_colour(k), 2));
    QPainterPath path;
    for (std::size_t i = 0; i < curve.Points.size(); ++i)
      i == 0 ? path.moveTo(map(curve.Points[i])) : path.lineTo(map(curve.Points[i]));
    p.drawPath(path);
    const double y = box.top() + 10 + 22 * static_cast<double>(k);
    p.drawLine(QPointF(box.right() + 15, y), QPointF(box.right() + 40, y));
    p.setPen(Qt::black);
    p.drawText(QRectF(box.right() + 46, y - 9, 150, 18), Qt::AlignLeft | Qt::AlignVCenter, curve.Label);
  }
  p.setPen(QPen(Qt::gray, 1.5, Qt::DashLine));
  const double ty = box.top() + 10 + 22 * static_cast<double>(c.Curves.size());
  p.drawLine(QPointF(box.right() + 15, ty), QPointF(box.right() + 40, ty));
  p.setPen(Qt::black);
  p.drawText(QRectF(box.right() + 46, ty - 9, 150, 18), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("target %1").arg(c.Target, 0, 'f', 2));
}

TfrmPlanning::TfrmPlanning(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmPlanning"));
  setWindowTitle(QStringLiteral("Plan a study"));
  createControls();
  cboAnalysisChange();
}

void TfrmPlanning::createControls() {
  auto* form = new QFormLayout;
  const auto combo = [&](QComboBox*& box, const char* name, const char* label, QStringList items) {
    box = new QComboBox(this);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    form->addRow(QString::fromLatin1(label), box);
  };
  const auto field = [&](QLineEdit*& edit, const char* name, const char* label, const char* text) {
    edit = new QLineEdit(QString::fromLatin1(text), this);
    edit->setObjectName(QString::fromLatin1(name));
    form->addRow(QString::fromLatin1(label), edit);
  };
  combo(cboAnalysis, "cboAnalysis", "Analysis",
        {QStringLiteral("Deficit on one task"), QStringLiteral("Dissociation"),
         QStringLiteral("Unstandardized difference test")});
  combo(cboTest, "cboTest", "Test", {});
  combo(cboAxis, "cboAxis", "Curves", {QStringLiteral("Power against N"), QStringLiteral("Power against the effect")});
  field(txtEffects, "txtEffects", "Effects (SDs)", "-3,-2,-1.5");
  field(txtN, "txtN", "Sample sizes N", "5:100:5");
  field(txtEffectY, "txtEffectY", "Effect on task Y", "0");
  field(txtR, "txtR", "Correlation of the tasks", "0.5");
  field(txtAlpha, "txtAlpha", "Alpha", "0.05");
  combo(cboTail, "cboTail", "Tail", {QStringLiteral("Two-tailed"), QStringLiteral("One-tailed (deficit side)")});
  combo(cboCase, "cboCase", "Case model", {QStringLiteral("Fixed"), QStringLiteral("Random")});
  field(txtTarget, "txtTarget", "Target power", "0.8");
  field(txtReplications, "txtReplications", "Replications", "2000");
  field(txtIterations, "txtIterations", "Iterations (K)", "1000");
  cmdCompute = new QPushButton(QStringLiteral("&Compute"), this);
  cmdCompute->setObjectName(QStringLiteral("cmdCompute"));
  cmdExport = new QPushButton(QStringLiteral("&Export..."), this);
  cmdExport->setObjectName(QStringLiteral("cmdExport"));
  canvas_ = new tCurves_canvas(&curves_, this);
  canvas_->setObjectName(QStringLiteral("Curves"));
  auto* grid = new QGridLayout(this);
  grid->addLayout(form, 0, 0);
  grid->addWidget(canvas_, 0, 1, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdCompute);
  buttons->addWidget(cmdExport);
  grid->addLayout(buttons, 1, 0);
  connect(cmdCompute, &QPushButton::clicked, this, &TfrmPlanning::cmdComputeClick);
  connect(cmdExport, &QPushButton::clicked, this, &TfrmPlanning::cmdExportClick);
  connect(cboAnalysis, &QComboBox::currentIndexChanged, this, &TfrmPlanning::cboAnalysisChange);
}

void TfrmPlanning::cboAnalysisChange() {
  cboTest->clear();
  const int a = cboAnalysis->currentIndex();
  if (a == 0) cboTest->addItems({QStringLiteral("Test for a deficit (exact)"), QStringLiteral("Bayesian test (simulated)")});
  else if (a == 1)
    cboTest->addItems({QStringLiteral("BSDT, calibrated prior"), QStringLiteral("BSDT, standard-theory prior"),
                       QStringLiteral("RSDT"), QStringLiteral("Classification (Bayesian criteria)")});
  else cboTest->addItems({QStringLiteral("UDT (exact)")});
  txtEffectY->setEnabled(a == 1);
  txtR->setEnabled(a == 1);
}

tPower_job TfrmPlanning::Job() const {
  tPower_job job;
  tSimulation_setting& s = job.Setting;
  const int a = cboAnalysis->currentIndex(), t = cboTest->currentIndex();
  job.Analysis = a == 0 ? tPower_analysis::Deficit : a == 1 ? tPower_analysis::Dissociation : tPower_analysis::Udt;
  if (a == 1) {
    s.Test = t == 2 ? tSimulated_test::Rsdt : t == 3 ? tSimulated_test::Classification : tSimulated_test::Bsdt;
    s.Prior = t == 1 ? tPrior::Standard : tPrior::Calibrated;
    const double r = Value(txtR, "correlation of the tasks", -0.999999, 0.999999);
    s.Correlations = {{1, r}, {r, 1}};
    s.Delta_y = Value(txtEffectY, "effect on task Y", -1000, 1000);
  } else {
    s.Test = a == 0 && t == 1 ? tSimulated_test::Bayesian_deficit : tSimulated_test::Deficit;
    s.Correlations = {{1}};
  }
  job.Exact = s.Test == tSimulated_test::Deficit;
  for (const double n : Values(txtN, "sample sizes")) {
    if (n != std::floor(n) || n < kMin_power_n || n > kMax_power_n)
      throw std::invalid_argument("Each sample size must be a whole number from 2 to 10000000.");
    job.N_values.push_back(static_cast<std::int32_t>(n));
  }
  for (const double e : Values(txtEffects, "effects")) job.Effects.push_back(e);
  s.Alpha = Value(txtAlpha, "alpha", 1e-12, 0.999999);
  s.Two_tailed = cboTail->currentIndex() == 0;
  s.Case = cboCase->currentIndex() == 0 ? tCase_model::Fixed : tCase_model::Random;
  job.Target = Value(txtTarget, "target power", 0.01, 0.99);
  job.Replications = static_cast<std::int64_t>(Value(txtReplications, "replications", 1, 100000000));
  s.Iterations = static_cast<std::int32_t>(Value(txtIterations, "iterations", 21, 100000000));
  if (!job.Exact) {
    s.N = job.N_values.front();
    s.Delta_x = job.Effects.front();
    Check_simulation_setting(s);
  }
  return job;
}

void TfrmPlanning::cmdComputeClick() {
  tPower_job job;
  try {
    job = Job();
  } catch (const std::exception& e) {
    tDialogs::Warning(this, QString::fromStdString(e.what()));
    return;
  }
  const bool against_n = cboAxis->currentIndex() == 0;
  tBackground_view view;
  view.Window = this;
  std::vector<tPower_row> rows;
  try {
    rows = Run_in_background(
        [&job](const tProgress_observer& observer) {
          std::vector<tPower_row> out;
          const auto points = Grid_points(job);
          std::int64_t done = 0;
          const std::int64_t per = Uses_replications(job) ? job.Replications : 1;
          const std::int64_t total = per * static_cast<std::int64_t>(points.size());
          tProgress_observer inner;
          inner.Cancel = observer.Cancel;
          inner.Progress = [&](std::int64_t d, std::int64_t) {
            if (observer.Progress) observer.Progress(done + d, total);
          };
          for (const tGrid_point& p : points) {
            if (observer.Cancel_requested()) throw ECancelled();
            out.push_back(Finish_point(job, p, Point_blocks(job, p, 1, 1, &inner)));
            done += per;
            if (observer.Progress) observer.Progress(done, total);
          }
          return out;
        },
        view);
  } catch (const ECancelled&) {
    return;
  } catch (const std::exception& e) {
    tDialogs::Error(this, QString::fromStdString(e.what()));
    return;
  }
  curves_ = {};
  curves_.Target = static_cast<double>(job.Target);
  curves_.Title = QStringLiteral("Power of the %1 (%2 case, alpha %3)")
                      .arg(QString::fromStdString(Test_name(job)),
                           job.Setting.Case == tCase_model::Fixed ? QStringLiteral("fixed") : QStringLiteral("random"))
                      .arg(static_cast<double>(job.Setting.Alpha));
  curves_.X_label = against_n ? QStringLiteral("Controls N") : QStringLiteral("Effect (SDs)");
  const std::size_t n_count = job.N_values.size();
  if (against_n) {
    for (std::size_t e = 0; e < job.Effects.size(); ++e) {
      tPower_curve c{QStringLiteral("effect %1").arg(static_cast<double>(job.Effects[e])), {}};
      for (std::size_t i = 0; i < n_count; ++i) {
        const tPower_row& r = rows[e * n_count + i];
        c.Points.emplace_back(r.N, static_cast<double>(r.Power));
      }
      curves_.Curves.push_back(c);
    }
  } else {
    for (std::size_t i = 0; i < n_count; ++i) {
      tPower_curve c{QStringLiteral("N = %1").arg(job.N_values[i]), {}};
      for (std::size_t e = 0; e < job.Effects.size(); ++e) {
        const tPower_row& r = rows[e * n_count + i];
        c.Points.emplace_back(static_cast<double>(r.Effect), static_cast<double>(r.Power));
      }
      curves_.Curves.push_back(c);
    }
  }
  canvas_->update();
}

void TfrmPlanning::Export(const QString& path) const {
  const QString suffix = QFileInfo(path).suffix().toLower();
  const auto fail = [&](const QString& why) {
    throw std::runtime_error(QStringLiteral("The curves could not be written to %1: %2.").arg(path, why).toStdString());
  };
  if (suffix != QLatin1String("png") && suffix != QLatin1String("svg") && suffix != QLatin1String("pdf"))
    fail(QStringLiteral("choose a name ending in .png, .svg or .pdf"));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) fail(file.errorString());
  const double height_inches = kWidth_inches * kCurves_height / kCurves_width;
  QPainter painter;
  const auto draw_scaled = [&](double w, double h) {
    painter.scale(w / kCurves_width, h / kCurves_height);
    Paint_power_curves(painter, curves_);
    painter.end();
  };
  if (suffix == QLatin1String("png")) {
    QImage image(qRound(kWidth_inches * kDpi), qRound(height_inches * kDpi), QImage::Format_RGB32);
    image.fill(Qt::white);
    painter.begin(&image);
    draw_scaled(image.width(), image.height());
    if (!image.save(&file, "PNG")) fail(file.errorString());
  } else if (suffix == QLatin1String("svg")) {
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(QSize(kCurves_width, kCurves_height));
    svg.setViewBox(QRect(0, 0, kCurves_width, kCurves_height));
    svg.setTitle(curves_.Title);
    if (!painter.begin(&svg)) fail(QStringLiteral("the drawing could not start"));
    draw_scaled(kCurves_width, kCurves_height);
  } else {
    QPdfWriter pdf(&file);
    pdf.setPageSize(QPageSize(QSizeF(kWidth_inches, height_inches), QPageSize::Inch));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setResolution(kDpi);
    pdf.setTitle(curves_.Title);
    if (!painter.begin(&pdf)) fail(QStringLiteral("the drawing could not start"));
    draw_scaled(pdf.width(), pdf.height());
  }
  if (file.error() != QFileDevice::NoError || !file.commit()) fail(file.errorString());
}

void TfrmPlanning::cmdExportClick() {
  const QString path = tDialogs::Save_file_name(
      this, QStringLiteral("kestrum-power.png"),
      QStringLiteral("PNG image, 300 dpi (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"),
      QString(), QStringLiteral("Export power curves"));
  if (path.isEmpty()) return;
  try {
    Export(path);
  } catch (const std::exception& e) {
    tDialogs::Error(this, QString::fromStdString(e.what()));
  }
}

void Add_planning_button(QWidget* worksheet) {
  constexpr int kRow_height = 34;
  QWidget* sheet = worksheet->findChild<QWidget*>(QStringLiteral("Sheet"));
  if (sheet == nullptr) sheet = worksheet;
  const int top = sheet->height();
  sheet->setFixedSize(sheet->width(), top + kRow_height);
  if (sheet != worksheet) worksheet->setFixedSize(worksheet->width(), worksheet->height() + kRow_height);
  auto* button = new QPushButton(QStringLiteral("Plan a study..."), sheet);
  button->setObjectName(QStringLiteral("cmdPlanWindow"));
  button->setGeometry(20, top + 2, 360, 23);
  QObject::connect(button, &QPushButton::clicked, worksheet, [worksheet] {
    auto* window = worksheet->findChild<TfrmPlanning*>(QStringLiteral("frmPlanning"));
    if (window == nullptr) window = new TfrmPlanning(worksheet);
    window->show();
    window->raise();
    window->activateWindow();
  });
  button->show();
}
