#include "ClientSettings.h"

#include "DataSetModel.h"

#include <QAbstractProxyModel>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QOperatingSystemVersion>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStyle>
#include <QTableView>
#include <QTextEdit>
#include <QToolTip>

#include <cstdlib>
#include <limits>
#include <variant>

namespace vexa::gl {

namespace {

const QString kChineseUiFont = QStringLiteral("华文细黑");

// One stored value: its name, the member it loads into and, for numbers, the accepted range.
struct StoredValue
{
    const char *name;
    std::variant<int ClientSettings::*, bool ClientSettings::*, QString ClientSettings::*> member;
    int min = std::numeric_limits<int>::min();
    int max = std::numeric_limits<int>::max();
};

// The stored values in the order they are loaded.
const StoredValue kStoredValues[] = {
    {"CAcctShowType", &ClientSettings::CAcctShowType},
    {"CFormMinWidth", &ClientSettings::CFormMinWidth},
    {"CFormMaxWidth", &ClientSettings::CFormMaxWidth},
    {"CAcctEnterOption", &ClientSettings::CAcctEnterOption},
    {"CUPDATASVR", &ClientSettings::CUPDATASVR},
    {"CGridDataAutoRefresh", &ClientSettings::CGridDataAutoRefresh},
    {"CGridIndicator", &ClientSettings::CGridIndicator},
    {"CGUIStyle", &ClientSettings::CGUIStyle},
    {"CFontName", &ClientSettings::CFontName},
    {"CFontSize", &ClientSettings::CFontSize},
    {"CTLabelPosSize", &ClientSettings::CTLabelPosSize},
    {"CGridHeaderHeight", &ClientSettings::CGridHeaderHeight},
    {"CGridFooterHeight", &ClientSettings::CGridFooterHeight},
    {"CGridDataRowHeight", &ClientSettings::CGridDataRowHeight},
    {"CGridLineWidth", &ClientSettings::CGridLineWidth},
    {"CBrowseGridLines", &ClientSettings::CBrowseGridLines, 0, 3},
    {"CFindGridLines", &ClientSettings::CFindGridLines, 0, 3},
    {"CCellHints", &ClientSettings::CCellHints},
    {"CBrowseLineHeight", &ClientSettings::CBrowseLineHeight},
    {"CFindTopCount", &ClientSettings::CFindTopCount},
    {"CBtnFadeVale", &ClientSettings::CBtnFadeVale},
    {"CSpeedFadeVale", &ClientSettings::CSpeedFadeVale},
    {"CPanelFadeVale", &ClientSettings::CPanelFadeVale},
    {"CBtnBorderWidth", &ClientSettings::CBtnBorderWidth},
    {"CCurrencyHorzStyle", &ClientSettings::CCurrencyHorzStyle},
    {"CEditNativeStyle", &ClientSettings::CEditNativeStyle},
    {"CPURImmStocks", &ClientSettings::CPURImmStocks},
    {"CSALImmStocks", &ClientSettings::CSALImmStocks},
    {"CPRGURL", &ClientSettings::CPRGURL},
};

// Reads a stored value into target; false when it is not of the value's kind.
bool readStored(const QVariant &stored, int &target, int min, int max)
{
    bool ok = false;
    const int value = stored.typeId() == QMetaType::QString ? stored.toString().trimmed().toInt(&ok)
                                                            : stored.toInt(&ok);
    if (!ok || value < min || value > max)
        return false;
    target = value;
    return true;
}

bool readStored(const QVariant &stored, bool &target, int, int)
{
    if (stored.typeId() != QMetaType::QString) {
        bool ok = false;
        const int value = stored.toInt(&ok); // a registry DWORD
        if (!ok)
            return false;
        target = value != 0;
        return true;
    }
    const QString text = stored.toString().trimmed().toLower();
    if (text == u"true" || text == u"1")
        target = true;
    else if (text == u"false" || text == u"0")
        target = false;
    else
        return false;
    return true;
}

bool readStored(const QVariant &stored, QString &target, int, int)
{
    // An INI text with unquoted commas comes back as a list.
    target = stored.typeId() == QMetaType::QStringList ? stored.toStringList().join(u',')
                                                       : stored.toString();
    return true;
}

std::unique_ptr<QSettings> registryStore()
{
#ifdef Q_OS_WIN
    auto store =
        std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat);
#else
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Corvane"), QStringLiteral("Vexa"));
#endif
    // Only the user's own store counts, not organisation-wide or system-wide files.
    store->setFallbacksEnabled(false);
    return store;
}

std::function<PartCaptions()> &partCaptionsSource()
{
    static std::function<PartCaptions()> source;
    return source;
}

// Shows the whole text of a cell whose text the column cuts, as the grid's cell hint.
class CellHints : public QObject
{
public:
    explicit CellHints(QAbstractItemView *view) : QObject(view), m_view(view)
    {
        setObjectName(QStringLiteral("vexaCellHints"));
        view->viewport()->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = m_view->indexAt(help->pos());
        if (!index.isValid() || index.data(Qt::ToolTipRole).isValid())
            return false; // the model's own tooltip wins
        const QString text = index.data(Qt::DisplayRole).toString();
        const QRect cell = m_view->visualRect(index);
        const int margin =
            2 * (m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1);
        if (!text.isEmpty() &&
            m_view->fontMetrics().horizontalAdvance(text) + margin > cell.width())
            QToolTip::showText(help->globalPos(), text, m_view->viewport(), cell);
        else
            QToolTip::hideText();
        return true;
    }

private:
    QAbstractItemView *m_view;
};

DataSetModel *dataSetModelOf(QAbstractItemModel *model)
{
    while (auto *proxy = qobject_cast<QAbstractProxyModel *>(model))
        model = proxy->sourceModel();
    return qobject_cast<DataSetModel *>(model);
}

void applyGridLook(QTableView *view, const ClientSettings &s, const PartCaptions &captions)
{
    QHeaderView *header = view->horizontalHeader();
    header->setFixedHeight(s.CGridHeaderHeight);
    header->setTextElideMode(Qt::ElideRight);
    QHeaderView *rows = view->verticalHeader();
    rows->setMinimumSectionSize(qMin(rows->minimumSectionSize(), s.CGridDataRowHeight));
    rows->setDefaultSectionSize(s.CGridDataRowHeight);
    rows->setVisible(s.CGridIndicator);
    view->setTextElideMode(Qt::ElideRight);

    QObject *hints =
        view->findChild<QObject *>(QStringLiteral("vexaCellHints"), Qt::FindDirectChildrenOnly);
    if (s.CCellHints && !hints)
        new CellHints(view);
    else if (!s.CCellHints)
        delete hints;

    if (DataSetModel *model = dataSetModelOf(view->model())) {
        if (!captions.partCode.isEmpty())
            model->setCaption(QStringLiteral("PartCode"), captions.partCode);
        if (!captions.partDesc.isEmpty()) {
            model->setCaption(QStringLiteral("ItDesc"), captions.partDesc);
            model->setCaption(QStringLiteral("PartDesc"), captions.partDesc);
        }
    }
}

bool isEdit(const QWidget *w)
{
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QAbstractSpinBox *>(w) ||
           qobject_cast<const QComboBox *>(w) || qobject_cast<const QCheckBox *>(w) ||
           qobject_cast<const QTextEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w);
}

// Widgets that are parts of another control (the line edit of a spin box or combo box, a
// grid's cell editor) take their look from that control.
bool isPartOfControl(const QWidget *w)
{
    const QWidget *parent = w->parentWidget();
    return qobject_cast<const QAbstractSpinBox *>(parent) ||
           qobject_cast<const QComboBox *>(parent) ||
           (parent && qobject_cast<const QAbstractItemView *>(parent->parentWidget()));
}

void setLookFont(QWidget *w, const ClientSettings &s)
{
    QFont font = w->font();
    font.setFamily(s.CFontName);
    if (s.CFontSize > 0)
        font.setPointSize(s.CFontSize);
    w->setFont(font);
}

bool holdsWidget(const QLayout *layout, const QWidget *w)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (item->widget() == w || (item->layout() && holdsWidget(item->layout(), w)))
            return true;
    }
    return false;
}

void shiftLabelUp(QLabel *label, int pixels)
{
    const QWidget *parent = label->parentWidget();
    if (!parent || !parent->layout() || !holdsWidget(parent->layout(), label)) {
        label->move(label->x(), label->y() - pixels);
        return;
    }
    // A layout puts a moved label back, so the text moves inside the label's place: it is
    // aligned in what the margins leave (Qt allows no negative margin), and a centred text
    // rises by half a bottom margin.
    const Qt::Alignment vertical = label->alignment() & Qt::AlignVertical_Mask;
    if (vertical == Qt::AlignTop)
        return; // no room above the text to move it into
    const int margin = vertical == Qt::AlignBottom ? std::abs(pixels) : 2 * std::abs(pixels);
    QMargins m = label->contentsMargins();
    if (pixels > 0)
        m.setBottom(m.bottom() + margin);
    else
        m.setTop(m.top() + margin);
    label->setContentsMargins(m);
}

} // namespace

ClientSettings ClientSettings::Defaults(bool chineseUiFontInstalled, int platformMajorVersion)
{
    ClientSettings s;
    if (chineseUiFontInstalled) {
        s.CGUIStyle = kChineseUiFont;
        s.CFontName = kChineseUiFont;
        s.CFontSize = 10;
        s.CGridFooterHeight = 25;
        s.CBrowseGridLines = 3;
    } else {
        s.CGUIStyle = QStringLiteral("默认样式");
        s.CFontName = QStringLiteral("Tahoma");
        s.CFontSize = 8;
        s.CGridFooterHeight = 24;
        s.CBrowseGridLines = 0;
    }
    s.CFindGridLines = 3;
    if (platformMajorVersion <= 5)
        s.CGridFooterHeight += 2;
    return s;
}

ClientSettings &Settings()
{
    static ClientSettings settings;
    return settings;
}

bool ChineseUiFontInstalled()
{
    return QFontDatabase::families().contains(kChineseUiFont);
}

int PlatformMajorVersion()
{
#ifdef Q_OS_WIN
    return QOperatingSystemVersion::current().majorVersion();
#else
    // The rule singles out Windows 5.x; Linux and the others are treated as newer.
    return 6;
#endif
}

QString RegistryGroup(const QString &path)
{
    QString p = path;
    p.replace(u'\\', u'/');
    return p.split(u'/', Qt::SkipEmptyParts).join(u'/');
}

std::unique_ptr<QSettings> OpenRegistryKey(const QString &path)
{
    std::unique_ptr<QSettings> key = registryStore();
    if (key->status() != QSettings::NoError || !key->isWritable())
        return nullptr;
    const QString group = RegistryGroup(path);
    if (!group.isEmpty())
        key->beginGroup(group);
    return key;
}

void LoadClientSettings(const QString &registryPath)
{
    ClientSettings s = ClientSettings::Defaults(ChineseUiFontInstalled(), PlatformMajorVersion());
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        s.ScrollBarHeight = app->style()->pixelMetric(QStyle::PM_ScrollBarExtent);

    if (std::unique_ptr<QSettings> key = OpenRegistryKey(registryPath)) {
        for (const StoredValue &value : kStoredValues) {
            const QString name = QString::fromLatin1(value.name);
            std::visit(
                [&](auto member) {
                    auto &target = s.*member;
                    if (key->contains(name))
                        readStored(key->value(name), target, value.min, value.max);
                    else
                        key->setValue(name, target);
                },
                value.member);
        }
        key->sync();
    }
    // Edits always keep the platform's look, whatever was stored.
    s.CEditNativeStyle = true;
    Settings() = s;
}

QString LocalDataFolder()
{
    std::unique_ptr<QSettings> store = registryStore();
    store->beginGroup(QStringLiteral("SHKEYCONFIG"));
    for (const char *name : {"LocalAppData", "InstallPath"}) {
        const QString folder = store->value(QString::fromLatin1(name)).toString();
        if (!folder.isEmpty())
            return folder;
    }
    return QCoreApplication::applicationDirPath();
}

void SetPartCaptionsSource(std::function<PartCaptions()> source)
{
    partCaptionsSource() = std::move(source);
}

void WidenCurrencyFormat(QDoubleSpinBox *edit)
{
    if (edit->property(kDisplayFormat).toString() == QStringLiteral("￥,0.00;-￥,0.00")) {
        edit->setDecimals(6);
        edit->setProperty(kDisplayFormat, QStringLiteral(",#.00####;-,#.00####"));
    }
}

void ApplyLook(QWidget *form)
{
    if (!form)
        return;
    const ClientSettings &s = Settings();
    const PartCaptions captions = partCaptionsSource() ? partCaptionsSource()() : PartCaptions();

    setLookFont(form, s);
    for (QTableView *view : form->findChildren<QTableView *>())
        applyGridLook(view, s, captions);

    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (isPartOfControl(w))
            continue;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            setLookFont(label, s);
            if (s.CTLabelPosSize != 0 && !label->wordWrap() && !label->text().isEmpty() &&
                !label->text().contains(u'\n'))
                shiftLabelUp(label, s.CTLabelPosSize);
            continue;
        }
        if (!isEdit(w))
            continue;
        setLookFont(w, s);
        if (s.CEditNativeStyle) {
            if (auto *line = qobject_cast<QLineEdit *>(w))
                line->setFrame(true);
            else if (auto *spin = qobject_cast<QAbstractSpinBox *>(w))
                spin->setFrame(true);
            else if (auto *combo = qobject_cast<QComboBox *>(w))
                combo->setFrame(true);
        }
        if (auto *currency = qobject_cast<QDoubleSpinBox *>(w)) {
            const Qt::Alignment horizontal = s.CCurrencyHorzStyle == 0   ? Qt::AlignHCenter
                                             : s.CCurrencyHorzStyle == 1 ? Qt::AlignLeft
                                                                         : Qt::AlignRight;
            currency->setAlignment(horizontal | Qt::AlignVCenter);
            currency->setGroupSeparatorShown(true);
            WidenCurrencyFormat(currency);
        }
    }
}

} // namespace vexa::gl
