#include "configwin/modsensor.h"

#include "configwin/qttext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>
#include <utility>

namespace {

constexpr int kMaxEditText = 254;
// Width of the edits and the type list in dialog units.
constexpr int kFieldWidthUnits = 120;

ModSensor::Driver& CurrentDriver() {
    static ModSensor::Driver driver;
    return driver;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const std::string& text) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(kMaxEditText);
    edit->setText(nimbrel::ItemText(text));
    return edit;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* text, std::uint32_t state) {
    auto* box = new QCheckBox(QLatin1String(text), parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(state == 1);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text, int id) {
    auto* button = new QPushButton(QLatin1String(text), parent);
    button->setObjectName(QLatin1String(name));
    button->setProperty("buttonId", id);
    return button;
}

} // namespace

ModSensor::ModSensor(QWidget* parent, nimbrel::ModSensorXfer& xfer)
    : QDialog(parent), xfer_(xfer), hex_(xfer.hex == 1) {
    setWindowTitle(QStringLiteral("Sensor Item Editor"));

    // Created in the order of the transfer record.
    address_ = MakeEdit(this, "address", xfer.address);
    type_ = new QComboBox(this);
    type_->setObjectName(QStringLiteral("type"));
    type_->setEditable(false);
    for (const std::string& entry : xfer.types)
        type_->addItem(nimbrel::ItemText(entry));
    if (xfer.selected >= 0 && xfer.selected < type_->count()) type_->setCurrentIndex(xfer.selected);
    name_ = MakeEdit(this, "name", xfer.name);
    value_ = MakeEdit(this, "value", xfer.value);
    max_ = MakeEdit(this, "max", xfer.max);
    min_ = MakeEdit(this, "min", xfer.min);
    size_ = MakeEdit(this, "size", xfer.size);
    hexCheck_ = MakeCheck(this, "hex", "Display as hex", xfer.hex);
    userCheck_ = MakeCheck(this, "user", "Not user configurable", xfer.user);
    listCheck_ = MakeCheck(this, "list", "Max/min is list", xfer.list);
    ok_ = MakeButton(this, "ok", "OK", 1);
    cancel_ = MakeButton(this, "cancel", "Cancel", 2);
    ok_->setDefault(true);

    auto* checks = new QHBoxLayout;
    checks->addWidget(hexCheck_);
    checks->addWidget(userCheck_);
    checks->addWidget(listCheck_);
    checks->addStretch(1);

    const QFontMetrics metrics(font());
    const int fieldWidth = kFieldWidthUnits * metrics.averageCharWidth() / 4;
    auto* fields = new QFormLayout;
    fields->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const std::pair<const char*, QWidget*> rows[] = {{"Configuration Name:", name_},
                                                     {"Value:", value_},
                                                     {"Address", address_},
                                                     {"Maximum:", max_},
                                                     {"Minimum:", min_},
                                                     {"Type:", type_},
                                                     {"Size:", size_}};
    for (const auto& [text, field] : rows) {
        auto* label = new QLabel(QLatin1String(text), this);
        label->setBuddy(field);
        field->setMinimumWidth(fieldWidth);
        fields->addRow(label, field);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(checks);
    layout->addSpacing(metrics.height());
    layout->addLayout(fields);
    layout->addSpacing(metrics.height());
    layout->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    // Tab order follows the dialog from top to bottom.
    QWidget* order[] = {hexCheck_, userCheck_, listCheck_, name_, value_, address_,
                        max_,      min_,       type_,      size_, ok_,    cancel_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    name_->setFocus();

    connect(type_, &QComboBox::activated, this, [this] { CBNSelchange(); });
    connect(hexCheck_, &QCheckBox::clicked, this, [this] { HexBNClicked(); });
    connect(listCheck_, &QCheckBox::clicked, this, [this] { ListBNClicked(); });
    connect(ok_, &QPushButton::clicked, this, [this] { CloseWindow(Accepted); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

int ModSensor::Execute() {
    const Driver driver = CurrentDriver();
    if (!driver) return exec();
    setResult(Rejected);
    driver(*this);
    return result();
}

nimbrel::ModSensorXfer ModSensor::Form() const {
    nimbrel::ModSensorXfer form;
    form.address = nimbrel::ItemText(address_->text());
    for (int i = 0; i < type_->count(); ++i)
        form.types.push_back(nimbrel::ItemText(type_->itemText(i)));
    form.selected = type_->currentIndex();
    form.name = nimbrel::ItemText(name_->text());
    form.value = nimbrel::ItemText(value_->text());
    form.max = nimbrel::ItemText(max_->text());
    form.min = nimbrel::ItemText(min_->text());
    form.size = nimbrel::ItemText(size_->text());
    form.hex = hex_ ? 1 : 0;
    form.user = userCheck_->isChecked() ? 1 : 0;
    form.list = listCheck_->isChecked() ? 1 : 0;
    return form;
}

void ModSensor::ShowNumbers(const nimbrel::ModSensorXfer& form) {
    value_->setText(nimbrel::ItemText(form.value));
    max_->setText(nimbrel::ItemText(form.max));
    min_->setText(nimbrel::ItemText(form.min));
}

void ModSensor::CBNSelchange() {
    if (const auto size = nimbrel::ProposedSize(nimbrel::ItemText(type_->currentText())))
        size_->setText(nimbrel::ItemText(*size));
    update();
}

void ModSensor::HexBNClicked() {
    nimbrel::ModSensorXfer form = Form();
    const bool checked = hexCheck_->isChecked();
    if (const auto refusal = nimbrel::ToggleHex(form, checked)) {
        nimbrel::ShowEditorMessage(*refusal);
        hexCheck_->setChecked(!checked);
        return;
    }
    hex_ = form.hex == 1;
    ShowNumbers(form);
}

void ModSensor::ListBNClicked() {
    nimbrel::ModSensorXfer form = Form();
    nimbrel::ToggleList(form, listCheck_->isChecked());
    hex_ = form.hex == 1;
    hexCheck_->setChecked(hex_);
    ShowNumbers(form);
}

bool ModSensor::CanClose() {
    if (const auto refusal = nimbrel::CheckModSensorXfer(Form())) {
        nimbrel::ShowEditorMessage(*refusal);
        return false;
    }
    return true;
}

void ModSensor::CloseWindow(int result) {
    if (result == Accepted) {
        if (!CanClose()) return;
        xfer_ = Form();
        xfer_.hex = hexCheck_->isChecked() ? 1 : 0;
    }
    QDialog::done(result);
}

void ModSensor::accept() {
    CloseWindow(Accepted);
}

ModSensor::ScopedDriver::ScopedDriver(Driver driver)
    : previous_(std::exchange(CurrentDriver(), std::move(driver))) {}

ModSensor::ScopedDriver::~ScopedDriver() {
    CurrentDriver() = std::move(previous_);
}
