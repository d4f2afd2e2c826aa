// The editor's main window. Its work is split by concern:
//   MainForm.cpp         construction: toolbars, menus, status bar, view
//   MainForm_Launch.cpp  the one launch/completion pattern and the commands
//   MainForm_Status.cpp  the status bar gauge, its timer and cancel-by-click
//   MainForm_File.cpp    New, Open, Save, dropped files
//   MainForm_Edit.cpp    Undo, Redo, Copy and Paste
//   MainForm_View.cpp    zoom (wheel, pinch, fit), hand tool, cursors,
//                        borderless view, pixel readout, histogram window, About
#pragma once

#include "engine/Bitmap.h"
#include "engine/Graphic.h"
#include "engine/ProcessorThread.h"

#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QButtonGroup>

#include <functional>
#include <map>
#include <typeindex>

class TPictureDocument;
class TWorkImage;
class THistogramForm;
class QMouseEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
namespace kadrimex::ui {
class TWorkerRunner;
}

// Test hook of the real-input GUI test (see MainForm.cpp): prints `line` on
// standard output when KADRIMEX_TEST_PROBE is set, nothing otherwise.
void TestProbe(const QString& line);

// The status bar with its two panels: panel 0 (250 pixels) shows a text,
// panel 1 (50 pixels) the owner-drawn progress gauge; beside them the
// readout of the pixel under the mouse. A click anywhere on it emits
// clicked().
class TMainStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TMainStatusBar(QWidget* parent = nullptr);
    QLabel* Panel0 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* ReadoutPanel = nullptr;
    void SetPanelText(const QString& text);
    // Shows `text` in the readout panel (empty clears it).
    void SetReadout(const QString& text);
    QString PanelText() const;
    // Asked by panel 1 at every repaint: returns true and the percentage
    // while an operation runs, false when idle.
    std::function<bool(long double&)> GaugeState;
signals:
    void clicked();
protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// Process-wide settings of the editor, made once before the window: a write
// beyond the file-size limit fails with an error (shown as a message, the
// old file kept) instead of SIGXFSZ ending the editor.
void PrepareEditorProcess();

class TKadrimexMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TKadrimexMainForm(QWidget* parent = nullptr);
    // Stops and joins a running operation before anything is freed.
    ~TKadrimexMainForm() override;

    // Toolbars, in band order. First row: File, Zoom, Resize, Generate,
    // Filter, Help; second row: Transform, Histogram.
    QToolBar* FileToolBar = nullptr;
    QToolBar* ZoomToolBar = nullptr;
    QToolBar* ResizeToolBar = nullptr;
    QToolBar* GenerateToolBar = nullptr;
    QToolBar* FilterToolBar = nullptr;
    QToolBar* HelpToolBar = nullptr;
    QToolBar* TransformToolBar = nullptr;
    QToolBar* HistogramToolBar = nullptr;

    // Buttons (flat 23x20 QToolButtons with a glyph from
    // ":/glyphs/<ObjectName>.svg" and a tooltip).
    QToolButton* NewButton = nullptr;
    QToolButton* OpenButton = nullptr;
    QToolButton* SaveButton = nullptr;
    // Undo and Redo: the buttons of UndoMenuItem and RedoMenuItem.
    QToolButton* UndoButton = nullptr;
    QToolButton* RedoButton = nullptr;
    QToolButton* ZoomInButton = nullptr;
    QToolButton* ZoomOutButton = nullptr;
    QToolButton* NormZoomButton = nullptr;
    QComboBox* ZoomComboBox = nullptr;
    QToolButton* ResizeCanvasButton = nullptr;
    QToolButton* ResizeImageButton = nullptr;
    QToolButton* ColorDepthSpeedButton = nullptr;
    QToolButton* FlipRotateSpeedButton = nullptr;
    QToolButton* AbstractGeneratorButton = nullptr;
    QToolButton* GaussGeneratorSpeedButton = nullptr;
    QToolButton* TriangleGeneratorSpeedButton = nullptr;
    QToolButton* SharpenGeneratorSpeedButton = nullptr;
    QToolButton* EdgeGeneratorSpeedButton = nullptr;
    QToolButton* GaussBlurSpeedButton = nullptr;
    QToolButton* TriangBlurSpeedButton = nullptr;
    QToolButton* SharpenSpeedButton = nullptr;
    QToolButton* FindEdgesSpeedButton = nullptr;
    QToolButton* UserFilterSpeedButton = nullptr;
    QToolButton* AboutSpeedButton = nullptr;
    QToolButton* FFTSpeedButton = nullptr;
    QToolButton* RevFFTSpeedButton = nullptr;
    QToolButton* FFTGaussSpeedButton = nullptr;
    QToolButton* CurvesSpeedButton = nullptr;
    QToolButton* AutoLevelsButton = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;

    // Tool panel on the left: one exclusive group of three checkable buttons.
    QToolBar* LeftCoolBar = nullptr;
    QFrame* FunctionPanel = nullptr;
    QToolButton* HandSpeedButton = nullptr;
    QToolButton* DrawSpeedButton = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QButtonGroup* FunctionButtonGroup = nullptr;

    QScrollArea* MainScrollBox = nullptr;
    TWorkImage* WorkImage = nullptr;
    TMainStatusBar* MainStatusBar = nullptr;
    QTimer* ProgressTimer = nullptr;

    // Main menu and its actions.
    QMenuBar* KadrimexMainMenu = nullptr;
    QAction* NewMenuItem = nullptr;
    QAction* OpenMenuItem = nullptr;
    QAction* SaveAsMenuItem = nullptr;
    QAction* ExitMenuItem = nullptr;
    QAction* UndoMenuItem = nullptr;
    QAction* RedoMenuItem = nullptr;
    QAction* ZoomInMenuItem = nullptr;
    QAction* ZoomOutMenuItem = nullptr;
    QAction* View11MenuItem = nullptr;
    QAction* FitToWindowMenuItem = nullptr;
    QAction* ActualSizeMenuItem = nullptr;  // "100 %"
    QAction* HistogramMenuItem = nullptr;
    QAction* CopyMenuItem = nullptr;
    QAction* PasteMenuItem = nullptr;
    QMenu* ToolbarsMenu = nullptr;  // toggleViewAction() of each toolbar
    QAction* AboutMenuItem = nullptr;

    // File dialogs (non-native), kept for the whole run.
    QFileDialog* OpenPictureDialog = nullptr;
    QFileDialog* SavePictureDialog = nullptr;

    // The displayed picture; the view and the status bar follow its changes.
    TPictureDocument* Document = nullptr;

    // The running operation; null when idle. FRunner owns it and brings its
    // completion back to this thread; FBitmaps owns its bitmaps.
    kadrimex::TBitmapProcesorThread* FProcessor = nullptr;
    kadrimex::ui::TWorkerRunner* FRunner = nullptr;
    kadrimex::TOperationBitmaps FBitmaps;

    // One row of the command table (MainForm_Launch.cpp): the toolbar button
    // and the handler it runs, where the bitmaps come from, the confirmation
    // a 24-bit picture gets instead of the conversion question (none when
    // empty), the status text, and the dialog step, which returns the filler
    // of the worker's fields or nothing when cancelled.
    using TFiller = std::function<void(kadrimex::TBitmapProcesorThread&)>;
    struct TCommand {
        const char* button;
        void (TKadrimexMainForm::*handler)();
        kadrimex::TDestinationPolicy bitmaps;
        QString confirmation;
        QString statusText;
        std::function<TFiller(TKadrimexMainForm&)> dialog;
    };
    enum class TCommandId {
        GaussBlur,
        TriangleBlur,
        Sharpen,
        FindEdges,
        UserFilter,
        FFT,
        RevFFT,
        FFTGauss,
        AbstractGenerator,
        GaussGenerator,
        TriangleGenerator,
        SharpenGenerator,
        EdgeGenerator,
        Resize,
        FlipRotate,
        // Tonal
        Levels,
        Curves,
        Count
    };
    static const TCommand& Command(TCommandId id);
    // The launch pattern every row goes through.
    void Launch(const TCommand& command);

    // Hand tool state.
    bool FDragging = false;
    QPoint FDragStart;
    Qt::WindowStates FSavedWindowState;
    QRect FSavedBounds;

    // Name of the file last chosen in Open (preset in Save).
    QString FFileName;

    // Runs a modal dialog and returns its result. Tests replace it to fill
    // in and accept/reject dialogs without a human.
    std::function<int(QDialog&)> DialogRunner;
    // Width a dialog's frame needs beside its title: icon, buttons, margins.
    static constexpr int kTitleFrameAllowance = 120;
    int RunDialog(QDialog& dialog);

    // The application's dialogs, one instance each for the whole run, so
    // they keep their values. main() creates them in start order; a dialog
    // not created yet is created on first use.
    template <class T>
    T& Dialog()
    {
        auto it = FDialogs.find(std::type_index(typeid(T)));
        if (it == FDialogs.end())
            it = FDialogs.emplace(std::type_index(typeid(T)), new T(this)).first;
        return *static_cast<T*>(it->second);
    }

    // True while an operation runs.
    bool Busy() const { return FProcessor != nullptr; }

public slots:
    // Files (MainForm_File.cpp).
    void NewButtonClick();
    void OpenButtonClick();
    void SaveButtonClick();
    // Open's RAW route: the RAW dialog for FFileName, its picture on OK.
    void OpenRawFile();
    // Opens `path` as Open does for the file kinds it knows (by extension),
    // at 1:1; a file that cannot be read gets the error box and leaves the
    // picture as it was (returns false).
    bool OpenPictureFile(const QString& path);

    // Undo and Redo (MainForm_Edit.cpp), and the enabled state and tooltip
    // of their items and buttons, computed in one place.
    void UndoMenuItemClick();
    void RedoMenuItemClick();
    void UpdateUndoActions();
    // Copy puts the displayed picture on the clipboard as an image; Paste
    // replaces the picture with the clipboard's image, one undoable step.
    void CopyMenuItemClick();
    void PasteMenuItemClick();
    // Paste is enabled while the clipboard holds an image and no operation
    // runs; Copy while there is a picture.
    void UpdateClipboardActions();

    // View (MainForm_View.cpp).
    void ZoomInButtonClick();
    void ZoomOutButtonClick();
    void NormZoomButtonClick();
    // The largest whole percent at which the picture fits the window
    // without scroll bars, written to the box and applied.
    void FitToWindowClick();
    // Zoom in (steps > 0) or out (steps < 0) that many times about the
    // point `at` of the scroll box's viewport: the picture point under it
    // stays there (as far as the scroll range allows).
    void ZoomAbout(int steps, QPointF at);
    void ApplyZoom();
    // `key` is the Qt::Key of a key press in the combo box's line edit
    // (forwarded by eventFilter() in MainForm.cpp). Returns true when the key
    // was handled (Enter) and must be swallowed.
    bool ZoomComboBoxKeyPress(int key);
    void FunctionSpeedButtonClick();
    // Connected to WorkImage's MouseDown/MouseMove/MouseUp signals in the
    // constructor (MainForm.cpp).
    void MainScrollBoxMouseDown(QMouseEvent* event);
    void MainScrollBoxMouseMove(QMouseEvent* event);
    void MainScrollBoxMouseUp(QMouseEvent* event);
    // FormCreate runs at the end of the constructor; FormShow on the first
    // show event (both called from MainForm.cpp).
    void FormCreate();
    void FormShow();
    void AboutSpeedButtonClick();
    void ToggleBorderlessView();
    // Shows the histogram window, which then follows every picture change.
    void HistogramMenuItemClick();
    // The readout of the pixel under the mouse, or empty when the mouse is
    // not over the picture.
    void UpdateReadout();
    // The "Toolbars" menu items are the toolbars' toggleViewAction()s, so
    // show/hide and the tick stay in step by themselves.

    // Operations (MainForm_Launch.cpp).
    void GaussBlurSpeedButtonClick();
    void TriangBlurSpeedButtonClick();
    void SharpenSpeedButtonClick();
    void FindEdgesSpeedButtonClick();
    void UserFilterSpeedButtonClick();
    void FFTSpeedButtonClick();
    void RevFFTSpeedButtonClick();
    void FFTGaussSpeedButtonClick();
    void AbstractGeneratorButtonClick();
    void GaussGeneratorSpeedButtonClick();
    void TriangleGeneratorSpeedButtonClick();
    void SharpenGeneratorSpeedButtonClick();
    void EdgeGeneratorSpeedButtonClick();
    void ResizeImageButtonClick();
    void FlipRotateSpeedButtonClick();
    // Colour depth: no worker; the working copy is converted here and
    // replaces the picture through the document.
    void ColorDepthSpeedButtonClick();
    void AutoLevelsButtonClick();
    void CurvesSpeedButtonClick();
    void ProcessingDone();

    // Status bar (MainForm_Status.cpp).
    void ProgressTimerTimer();
    void MainStatusBarClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A BMP, JPEG or icon file dropped on the window opens; anything else,
    // and any drop while an operation runs, is refused without a message.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Connects each command row's toolbar button to its handler.
    void ConnectCommandButtons();
    // Locks or unlocks the six launching toolbars.
    void SetLaunchToolbarsEnabled(bool enabled);
    // Save: the save dialog, then the picture written; true when it was.
    bool SavePicture();
    // Stops a running operation and waits for it (close, exit, destructor).
    void StopProcessing();
    // Completion: joins and deletes the thread, releases its bitmaps; with
    // `display` the result (or the thread's error) is shown.
    void FinishProcessing(bool display);
    // Paints the status bar and the idle gauge on the screen at once
    // (MainForm_Status.cpp); completion's last step.
    void ShowIdleGauge();

    void CreateToolBars();
    void CreateMenus();
    void CreateStatusBar();
    // The View and Edit menus' items beyond the design's
    // (MainForm_View.cpp, MainForm_Edit.cpp).
    void AddViewMenuItems(QMenu* viewMenu);
    void AddClipboardMenuItems(QMenu* editMenu);
    // The readout at `position` of the picture control.
    void ShowReadoutAt(QPointF position);
    // The test hook's report of the window id and the widgets' screen rectangles.
    void ProbeGeometry();
    // The test hook's report of the displayed picture.
    void ProbePicture();
    void CreateView();
    // The one local BMP, JPEG or icon file `data` carries; empty otherwise.
    QString DroppedPicture(const QMimeData* data) const;
    QToolButton* AddButton(QToolBar* bar, const char* name, const QString& tooltip,
                           void (TKadrimexMainForm::*handler)() = nullptr, const QString& caption = {});

    std::map<std::type_index, QDialog*> FDialogs;
    // Counts launches, so a cancel question answered after its operation
    // ended cancels nothing.
    quint64 FLaunchId = 0;
    bool FShown = false;
    THistogramForm* FHistogramForm = nullptr;
    // Whether the clipboard holds an image, asked only when its content
    // changes: asking another program on every picture change could stall.
    bool FClipboardHasImage = false;
};
