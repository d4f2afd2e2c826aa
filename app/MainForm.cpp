// Construction of the main window: toolbars in band order, the tool panel,
// the picture view, the main menu with its shortcuts, the status bar and the
// two file dialogs.
#include "app/MainForm.h"

#include "app/PictureDocument.h"
#include "app/WorkImage.h"
#include "ui/Prompt.h"
#include "ui/WorkerRunner.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QFile>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <csignal>
#include <cstdio>

namespace {

// Test hook, off unless the environment sets KADRIMEX_TEST_PROBE, as the
// real-input GUI test (tests/app/RealInputTest.cpp) does. The editor then
// prints on standard output, one line each: "window ID" (the main window's X
// window) and "geometry NAME X Y WIDTH HEIGHT" (screen rectangle of each
// visible named widget of the main window) whenever the window is shown,
// moved or resized, "status TEXT" for every status text it sets, "picture
// CLASS WIDTH HEIGHT HASH" (a hash of the displayed picture's bytes) whenever
// the picture changes, and "undo on|off redo on|off" whenever the two items'
// state is set; the view adds "zoom TEXT WIDTH HEIGHT" (the box's text and
// the shown size in device pixels) at every zoom, "readout TEXT" when the
// pixel readout changes, "copy on|off paste on|off" and "histogram levels
// R G B mean R G B" (see MainForm_View.cpp). It changes nothing else.
bool TestProbeOn()
{
    static const bool on = qEnvironmentVariableIsSet("KADRIMEX_TEST_PROBE");
    return on;
}

QIcon Glyph(const QString& name)
{
    const QString path = QStringLiteral(":/glyphs/") + name + QStringLiteral(".svg");
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

// Qt's file dialog splits a filter's patterns at blanks only; the open
// dialog's first filter lists its patterns separated by semicolons. This
// gives the dialog's file model the patterns split at either.
void ApplyFilterPatterns(QFileDialog& dialog, const QString& filter)
{
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (!model)
        return;
    const qsizetype open = filter.lastIndexOf(u'(');
    const qsizetype close = filter.lastIndexOf(u')');
    if (open < 0 || close <= open)
        return;
    static const QRegularExpression separators(QStringLiteral("[; ]"));
    model->setNameFilters(filter.mid(open + 1, close - open - 1).split(separators, Qt::SkipEmptyParts));
}

QFileDialog* MakeFileDialog(QWidget* parent, const char* name, const QString& title, const QStringList& filters,
                            QFileDialog::AcceptMode mode)
{
    auto* dialog = new QFileDialog(parent, title);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setNameFilters(filters);
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog,
                     [dialog](const QString& filter) { ApplyFilterPatterns(*dialog, filter); });
    // The completion list of a typed path is a window of its own: closed
    // with the dialog, or it stays on screen and keeps the keyboard.
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog] {
        for (const QCompleter* completer : dialog->findChildren<QCompleter*>())
            if (completer->popup())
                completer->popup()->hide();
    });
    return dialog;
}

}  // namespace

void TestProbe(const QString& line)
{
    if (!TestProbeOn())
        return;
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

TKadrimexMainForm::TKadrimexMainForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("KadrimexMainForm"));
    setWindowTitle(QStringLiteral("Semprol Kadrimex"));
    setMinimumSize(256, 96);
    resize(726, 480);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    CreateToolBars();
    ConnectCommandButtons();
    CreateView();
    CreateMenus();
    CreateStatusBar();

    // The view shows the document's picture; the gauge is redrawn with it.
    Document = new TPictureDocument(this);
    connect(Document, &TPictureDocument::Changed, this, [this] {
        WorkImage->SetPicture(Document->Shared());
        MainStatusBar->Panel1->update();
        UpdateUndoActions();
        if (TestProbeOn())
            ProbePicture();
    });
    UpdateUndoActions();
    setAcceptDrops(true);
    FRunner = new kadrimex::ui::TWorkerRunner(this);

    ProgressTimer = new QTimer(this);
    ProgressTimer->setObjectName(QStringLiteral("ProgressTimer"));
    ProgressTimer->setInterval(300);
    connect(ProgressTimer, &QTimer::timeout, this, &TKadrimexMainForm::ProgressTimerTimer);

    OpenPictureDialog = MakeFileDialog(this, "OpenPictureDialog", QStringLiteral("Zapodaj jakiegoś wypasionego obrazka"),
                                       {QStringLiteral("All known (*.jpg;*.jpeg;*.bmp;*.ico;*.png;*.tif;*.tiff;*.webp)"),
                                        QStringLiteral("JPEG images (*.jpg)"), QStringLiteral("JPEG images (*.jpeg)"),
                                        QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("Icons (*.ico)"),
                                        QStringLiteral("PNG images (*.png)"), QStringLiteral("TIFF images (*.tif)"),
                                        QStringLiteral("TIFF images (*.tiff)"), QStringLiteral("WebP images (*.webp)"),
                                        QStringLiteral("RAW files (*.*)")},
                                       QFileDialog::AcceptOpen);
    SavePictureDialog = MakeFileDialog(this, "SavePictureDialog", QStringLiteral("Zapisz obrazek do pliku"),
                                       {QStringLiteral("Bitmaps (*.bmp)"), QStringLiteral("JPEG Image File (*.jpg)"),
                                        QStringLiteral("PNG Image File (*.png)"), QStringLiteral("TIFF Image File (*.tif)"),
                                        QStringLiteral("WebP Image File (*.webp)")},
                                       QFileDialog::AcceptSave);

    if (TestProbeOn())
        installEventFilter(this);
    FormCreate();
}

void PrepareEditorProcess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

TKadrimexMainForm::~TKadrimexMainForm()
{
    StopProcessing();
}

QToolButton* TKadrimexMainForm::AddButton(QToolBar* bar, const char* name, const QString& tooltip,
                                          void (TKadrimexMainForm::*handler)(), const QString& caption)
{
    auto* button = new QToolButton(bar);
    const QString objectName = QString::fromLatin1(name);
    button->setObjectName(objectName);
    button->setToolTip(tooltip);
    button->setAutoRaise(true);
    button->setFixedSize(23, 20);
    button->setIconSize(QSize(16, 16));
    const QIcon icon = Glyph(objectName);
    button->setIcon(icon);
    button->setText(caption.isEmpty() ? objectName : caption);
    button->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    if (handler)
        connect(button, &QToolButton::clicked, this, handler);
    bar->addWidget(button);
    return button;
}

void TKadrimexMainForm::CreateToolBars()
{
    auto makeBar = [this](const char* name, const QString& title) {
        auto* bar = new QToolBar(title, this);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setIconSize(QSize(16, 16));
        bar->setFloatable(false);
        addToolBar(Qt::TopToolBarArea, bar);
        return bar;
    };
    using F = TKadrimexMainForm;

    FileToolBar = makeBar("FileToolBar", QStringLiteral("File"));
    NewButton = AddButton(FileToolBar, "NewButton", QStringLiteral("Create new image"), &F::NewButtonClick);
    OpenButton = AddButton(FileToolBar, "OpenButton", QStringLiteral("Open an image from disk"), &F::OpenButtonClick);
    SaveButton = AddButton(FileToolBar, "SaveButton", QStringLiteral("Save changes"), &F::SaveButtonClick);
    UndoButton = AddButton(FileToolBar, "UndoButton", QStringLiteral("Undo"));
    RedoButton = AddButton(FileToolBar, "RedoButton", QStringLiteral("Redo"));

    ZoomToolBar = makeBar("ZoomToolBar", QStringLiteral("View"));
    ZoomInButton = AddButton(ZoomToolBar, "ZoomInButton", QStringLiteral("Zoom in"), &F::ZoomInButtonClick);
    ZoomOutButton = AddButton(ZoomToolBar, "ZoomOutButton", QStringLiteral("Zoom out"), &F::ZoomOutButtonClick);
    NormZoomButton = AddButton(ZoomToolBar, "NormZoomButton", QStringLiteral("Normalize view"), &F::NormZoomButtonClick,
                               QStringLiteral("1:1"));
    ZoomComboBox = new QComboBox(ZoomToolBar);
    ZoomComboBox->setObjectName(QStringLiteral("ZoomComboBox"));
    ZoomComboBox->setToolTip(QStringLiteral("Zoom level"));
    ZoomComboBox->setEditable(true);
    ZoomComboBox->setInsertPolicy(QComboBox::NoInsert);
    ZoomComboBox->addItems({"10", "25", "50", "75", "100", "150", "200", "300", "500", "700", "10000", "20000", "30000"});
    ZoomComboBox->setEditText(QStringLiteral("100"));
    ZoomComboBox->setFixedWidth(72);
    // The zoom rules read the text exactly as typed: no completion from the
    // list.
    ZoomComboBox->setCompleter(nullptr);
    // Keys from the window system reach the box, which hands them to its
    // line edit by a direct call that no filter sees; keys sent to the line
    // edit itself pass its own filter.
    ZoomComboBox->installEventFilter(this);
    ZoomComboBox->lineEdit()->installEventFilter(this);
    ZoomToolBar->addWidget(ZoomComboBox);

    ResizeToolBar = makeBar("ResizeToolBar", QStringLiteral("Resizing"));
    ResizeCanvasButton = AddButton(ResizeToolBar, "ResizeCanvasButton", QStringLiteral("Dorozmiaruj tło obrazeka"));
    ResizeImageButton = AddButton(ResizeToolBar, "ResizeImageButton", QStringLiteral("Przerozmiaruj obrazeka"));
    ColorDepthSpeedButton = AddButton(ResizeToolBar, "ColorDepthSpeedButton", QStringLiteral("Zmień głąba kolorów"));
    FlipRotateSpeedButton = AddButton(ResizeToolBar, "FlipRotateSpeedButton", QStringLiteral("Obij obrazek"));

    GenerateToolBar = makeBar("GenerateToolBar", QStringLiteral("Generate"));
    AbstractGeneratorButton =
        AddButton(GenerateToolBar, "AbstractGeneratorButton", QStringLiteral("Generaterator zajefajnych kształtów"));
    GaussGeneratorSpeedButton =
        AddButton(GenerateToolBar, "GaussGeneratorSpeedButton", QStringLiteral("Namaż ma obrazku filter Gaussa 2D"));
    TriangleGeneratorSpeedButton = AddButton(GenerateToolBar, "TriangleGeneratorSpeedButton",
                                             QStringLiteral("Namaż ma obrazku filter trójkątny 2D"));
    SharpenGeneratorSpeedButton = AddButton(GenerateToolBar, "SharpenGeneratorSpeedButton",
                                            QStringLiteral("Namaż ma obrazku filter wyostrzający 2D"));
    EdgeGeneratorSpeedButton = AddButton(GenerateToolBar, "EdgeGeneratorSpeedButton",
                                         QStringLiteral("Namaż ma obrazku filter wykrywania krawędzi 2D"));

    FilterToolBar = makeBar("FilterToolBar", QStringLiteral("Filters"));
    GaussBlurSpeedButton =
        AddButton(FilterToolBar, "GaussBlurSpeedButton", QStringLiteral("Gauss filter blur"));
    TriangBlurSpeedButton = AddButton(FilterToolBar, "TriangBlurSpeedButton", QStringLiteral("Triangle filter blur"));
    SharpenSpeedButton =
        AddButton(FilterToolBar, "SharpenSpeedButton", QStringLiteral("Sharpen image"));
    FindEdgesSpeedButton =
        AddButton(FilterToolBar, "FindEdgesSpeedButton", QStringLiteral("Bounds detection"));
    UserFilterSpeedButton = AddButton(FilterToolBar, "UserFilterSpeedButton", QStringLiteral("Design your own filter"), nullptr, QStringLiteral("USR"));

    HelpToolBar = makeBar("HelpToolBar", QStringLiteral("Help"));
    AboutSpeedButton =
        AddButton(HelpToolBar, "AboutSpeedButton", QStringLiteral("About the program"), &F::AboutSpeedButtonClick);

    addToolBarBreak(Qt::TopToolBarArea);

    TransformToolBar = makeBar("TransformToolBar", QStringLiteral("Fourier"));
    FFTSpeedButton = AddButton(TransformToolBar, "FFTSpeedButton", QStringLiteral("Conduct FFT"));
    RevFFTSpeedButton =
        AddButton(TransformToolBar, "RevFFTSpeedButton", QStringLiteral("Conduct reverse FFT"));
    FFTGaussSpeedButton = AddButton(TransformToolBar, "FFTGaussSpeedButton", QStringLiteral("Gauss filter blur using FFT"));

    HistogramToolBar = makeBar("HistogramToolBar", QStringLiteral("Histogram"));
    CurvesSpeedButton = AddButton(HistogramToolBar, "CurvesSpeedButton", QStringLiteral("Krzywe"));
    AutoLevelsButton = AddButton(HistogramToolBar, "AutoLevelsButton", QStringLiteral("Wyrównaj lub poszerz histogram"));
    SpeedButton3 = AddButton(HistogramToolBar, "SpeedButton3", QStringLiteral("???"));
    SpeedButton2 = AddButton(HistogramToolBar, "SpeedButton2", QStringLiteral("???"));
    SpeedButton1 = AddButton(HistogramToolBar, "SpeedButton1", QStringLiteral("???"));

    // The tool panel on the left: three toggles, exactly one down.
    LeftCoolBar = new QToolBar(QStringLiteral("Tools"), this);
    LeftCoolBar->setObjectName(QStringLiteral("LeftCoolBar"));
    LeftCoolBar->setOrientation(Qt::Vertical);
    LeftCoolBar->setFloatable(false);
    LeftCoolBar->setMovable(false);
    addToolBar(Qt::LeftToolBarArea, LeftCoolBar);
    FunctionPanel = new QFrame(LeftCoolBar);
    FunctionPanel->setObjectName(QStringLiteral("FunctionPanel"));
    auto* panelLayout = new QVBoxLayout(FunctionPanel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    panelLayout->setSpacing(1);
    FunctionButtonGroup = new QButtonGroup(this);
    FunctionButtonGroup->setObjectName(QStringLiteral("FunctionButtonGroup"));
    FunctionButtonGroup->setExclusive(true);
    auto toolButton = [&](const char* name, const QString& hint) {
        auto* button = new QToolButton(FunctionPanel);
        const QString objectName = QString::fromLatin1(name);
        button->setObjectName(objectName);
        button->setToolTip(hint);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFixedSize(23, 20);
        button->setIconSize(QSize(16, 16));
        button->setIcon(Glyph(objectName));
        panelLayout->addWidget(button);
        FunctionButtonGroup->addButton(button);
        return button;
    };
    HandSpeedButton = toolButton("HandSpeedButton", QStringLiteral("Hand tool"));
    DrawSpeedButton = toolButton("DrawSpeedButton", QStringLiteral("(nothing)"));
    SpeedButton4 = toolButton("SpeedButton4", QStringLiteral("(nothing)"));
    panelLayout->addStretch(1);
    HandSpeedButton->setChecked(true);
    connect(FunctionButtonGroup, &QButtonGroup::buttonClicked, this, [this] { FunctionSpeedButtonClick(); });
    LeftCoolBar->addWidget(FunctionPanel);
}

void TKadrimexMainForm::CreateView()
{
    MainScrollBox = new QScrollArea(this);
    MainScrollBox->setObjectName(QStringLiteral("MainScrollBox"));
    MainScrollBox->setFrameShape(QFrame::NoFrame);
    MainScrollBox->setWidgetResizable(false);
    MainScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = MainScrollBox->palette();
    palette.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    MainScrollBox->setPalette(palette);
    MainScrollBox->setBackgroundRole(QPalette::Window);
    MainScrollBox->setAutoFillBackground(true);

    WorkImage = new TWorkImage();
    WorkImage->setObjectName(QStringLiteral("WorkImage"));
    WorkImage->resize(500, 337);
    MainScrollBox->setWidget(WorkImage);
    connect(WorkImage, &TWorkImage::MouseDown, this, &TKadrimexMainForm::MainScrollBoxMouseDown, Qt::UniqueConnection);
    connect(WorkImage, &TWorkImage::MouseMove, this, &TKadrimexMainForm::MainScrollBoxMouseMove, Qt::UniqueConnection);
    connect(WorkImage, &TWorkImage::MouseUp, this, &TKadrimexMainForm::MainScrollBoxMouseUp, Qt::UniqueConnection);
    setCentralWidget(MainScrollBox);
}

void TKadrimexMainForm::CreateMenus()
{
    KadrimexMainMenu = menuBar();
    KadrimexMainMenu->setObjectName(QStringLiteral("KadrimexMainMenu"));

    auto item = [this](QMenu* menu, const char* name, const QString& text, const QKeySequence& shortcut,
                       void (TKadrimexMainForm::*handler)(), const QString& glyph) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        if (!glyph.isEmpty())
            action->setIcon(Glyph(glyph));
        if (handler)
            connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    auto useIcons = [](QMenu* menu) { menu->addAction(QStringLiteral("(use icons)")); };
    using F = TKadrimexMainForm;

    QMenu* fileMenu = KadrimexMainMenu->addMenu(QStringLiteral("&File"));
    fileMenu->setObjectName(QStringLiteral("FileMenu"));
    // The desktop's standard keys (Ctrl+N, Ctrl+O, Ctrl+S here).
    NewMenuItem = item(fileMenu, "NewMenuItem", QStringLiteral("New"), QKeySequence::New, &F::NewButtonClick,
                       QStringLiteral("NewButton"));
    OpenMenuItem = item(fileMenu, "OpenMenuItem", QStringLiteral("Open"), QKeySequence::Open, &F::OpenButtonClick,
                        QStringLiteral("OpenButton"));
    SaveAsMenuItem = item(fileMenu, "SaveAsMenuItem", QStringLiteral("Save as"), QKeySequence::Save,
                          &F::SaveButtonClick, QStringLiteral("SaveButton"));
    // Ctrl+Q, the desktop's standard quit key.
    ExitMenuItem = item(fileMenu, "ExitMenuItem", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_Q), nullptr,
                        QString());
    // close() runs closeEvent(), which stops a running operation first.
    connect(ExitMenuItem, &QAction::triggered, this, &QWidget::close);

    QMenu* editMenu = KadrimexMainMenu->addMenu(QStringLiteral("&Edit"));
    editMenu->setObjectName(QStringLiteral("EditMenu"));
    UndoMenuItem = item(editMenu, "UndoMenuItem", QStringLiteral("Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z),
                        &F::UndoMenuItemClick, QStringLiteral("UndoButton"));
    RedoMenuItem = item(editMenu, "RedoMenuItem", QStringLiteral("Redo"), {}, &F::RedoMenuItemClick,
                        QStringLiteral("RedoButton"));
    RedoMenuItem->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    // The buttons show the items' enabled state and tooltip.
    UndoButton->setDefaultAction(UndoMenuItem);
    RedoButton->setDefaultAction(RedoMenuItem);
    AddClipboardMenuItems(editMenu);
    editMenu->addSeparator();
    useIcons(editMenu);

    QMenu* viewMenu = KadrimexMainMenu->addMenu(QStringLiteral("&View"));
    viewMenu->setObjectName(QStringLiteral("ViewMenu"));
    ZoomInMenuItem = item(viewMenu, "ZoomInMenuItem", QStringLiteral("Zoom in"), QKeySequence::ZoomIn,
                          &F::ZoomInButtonClick, QStringLiteral("ZoomInButton"));
    // Ctrl+= too: on most keyboards "+" needs Shift.
    QList<QKeySequence> zoomInKeys = QKeySequence::keyBindings(QKeySequence::ZoomIn);
    zoomInKeys << QKeySequence(Qt::CTRL | Qt::Key_Equal);
    ZoomInMenuItem->setShortcuts(zoomInKeys);
    ZoomOutMenuItem = item(viewMenu, "ZoomOutMenuItem", QStringLiteral("Zoom out"), QKeySequence::ZoomOut,
                           &F::ZoomOutButtonClick, QStringLiteral("ZoomOutButton"));
    View11MenuItem = item(viewMenu, "View11MenuItem", QStringLiteral("View 1:1"), QKeySequence(Qt::CTRL | Qt::Key_1),
                          &F::NormZoomButtonClick, QStringLiteral("NormZoomButton"));
    AddViewMenuItems(viewMenu);
    viewMenu->addSeparator();
    ToolbarsMenu = viewMenu->addMenu(QStringLiteral("Toolbars"));
    ToolbarsMenu->setObjectName(QStringLiteral("ToolbarsMenu"));
    for (QToolBar* bar : {FileToolBar, ZoomToolBar, ResizeToolBar, GenerateToolBar, FilterToolBar, TransformToolBar,
                          HistogramToolBar, HelpToolBar}) {
        QAction* toggle = bar->toggleViewAction();
        toggle->setObjectName(bar->objectName() + QStringLiteral("MenuItem"));
        ToolbarsMenu->addAction(toggle);
    }

    for (const char* title : {"&Generate", "&Histogram", "&Filters", "Fo&urier"}) {
        QMenu* menu = KadrimexMainMenu->addMenu(QString::fromUtf8(title));
        useIcons(menu);
    }

    QMenu* helpMenu = KadrimexMainMenu->addMenu(QStringLiteral("&Help"));
    helpMenu->setObjectName(QStringLiteral("HelpMenu"));
    AboutMenuItem = item(helpMenu, "AboutMenuItem", QStringLiteral("About"), QKeySequence(Qt::Key_F1),
                         &F::AboutSpeedButtonClick, QStringLiteral("AboutSpeedButton"));
}

int TKadrimexMainForm::RunDialog(QDialog& dialog)
{
    // A window manager cuts a title wider than the frame to dots ("Image…
    // depth"): the dialog is at least as wide as its title and the frame's
    // icon and buttons.
    const int titleWidth = dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) + kTitleFrameAllowance;
    if (dialog.minimumWidth() < titleWidth)
        dialog.setMinimumWidth(titleWidth);
    if (auto* fileDialog = qobject_cast<QFileDialog*>(&dialog))
        ApplyFilterPatterns(*fileDialog, fileDialog->selectedNameFilter());
    if (DialogRunner)
        return DialogRunner(dialog);
    return dialog.exec();
}

void TKadrimexMainForm::closeEvent(QCloseEvent* event)
{
    StopProcessing();
    if (Document->Modified()) {
        // Save, discard or stay; closing goes on after a save only if the
        // picture was written.
        namespace ui = kadrimex::ui;
        const ui::PromptAnswer answer =
            ui::Prompt(QStringLiteral("Obrazek został zmieniony i nie jest zapisany.\n\n"
                                      "Chcesz go zapisać przed wyjściem?"),
                       QStringLiteral("A zapisać to nie łaska?"), ui::PromptButtons::YesNoCancel,
                       ui::PromptIcon::Question);
        if ((answer == ui::PromptAnswer::Yes && !SavePicture()) ||
            (answer != ui::PromptAnswer::Yes && answer != ui::PromptAnswer::No)) {
            event->ignore();
            return;
        }
    }
    QMainWindow::closeEvent(event);
}

void TKadrimexMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TKadrimexMainForm::ProbePicture()
{
    // FNV-1a over what the picture holds: the bitmap's format, rows and
    // palette, or the compressed bytes of a JPEG or an icon.
    quint64 hash = 14695981039346656037ull;
    auto add = [&hash](const std::uint8_t* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            hash = (hash ^ data[i]) * 1099511628211ull;
    };
    const kadrimex::TPicture& picture = Document->Picture();
    if (const auto* bitmap = std::get_if<kadrimex::TBitmap>(&picture.graphic())) {
        const auto format = std::uint8_t(bitmap->PixelFormat());
        add(&format, 1);
        for (int y = 0; y < bitmap->Height(); ++y)
            add(bitmap->ScanLine(y), bitmap->Stride());
        add(reinterpret_cast<const std::uint8_t*>(bitmap->Palette().data()),
            bitmap->Palette().size() * sizeof(kadrimex::TPaletteEntry));
    } else if (const auto* jpeg = std::get_if<kadrimex::TJPEGImage>(&picture.graphic())) {
        add(jpeg->Data().data(), jpeg->Data().size());
    } else if (const auto* icon = std::get_if<kadrimex::TIcon>(&picture.graphic())) {
        add(icon->Data().data(), icon->Data().size());
    }
    TestProbe(QStringLiteral("picture %1 %2 %3 %4")
                  .arg(QString::fromStdString(picture.GraphicClassName()))
                  .arg(picture.Width())
                  .arg(picture.Height())
                  .arg(hash, 16, 16, QLatin1Char('0')));
}

void TKadrimexMainForm::ProbeGeometry()
{
    TestProbe(QStringLiteral("window %1").arg(winId()));
    for (const QWidget* widget : findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || !widget->isVisible() || widget->window() != this)
            continue;
        const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
        TestProbe(QStringLiteral("geometry %1 %2 %3 %4 %5")
                      .arg(widget->objectName())
                      .arg(origin.x())
                      .arg(origin.y())
                      .arg(widget->width())
                      .arg(widget->height()));
    }
}

bool TKadrimexMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // Installed on the window itself only by the test hook.
    if (watched == this) {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize)
            QTimer::singleShot(0, this, &TKadrimexMainForm::ProbeGeometry);
        return QMainWindow::eventFilter(watched, event);
    }
    // The zoom box's line edit would take Ctrl+Z and its kin, Ctrl+C and
    // Ctrl+V for its own text (the box hands it the override event
    // directly); they undo, redo, copy and paste the picture. An override
    // event left accepted would still claim the key, so it is ignored: the
    // shortcut then fires.
    if (ZoomComboBox && (watched == ZoomComboBox || watched == ZoomComboBox->lineEdit()) &&
        event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) ||
            key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y)) {
            key->ignore();
            return true;
        }
    }
    if (ZoomComboBox && (watched == ZoomComboBox || watched == ZoomComboBox->lineEdit()) &&
        event->type() == QEvent::KeyPress) {
        if (ZoomComboBoxKeyPress(static_cast<QKeyEvent*>(event)->key()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
