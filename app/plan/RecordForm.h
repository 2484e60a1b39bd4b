#pragma once
// The base of the record windows: a modeless window bound to one data
// source of the data module, above the window that owns it (the
// street-axis window excepted) and wholly on the screen when it opens. It
// shows the records that the main window locates, refreshes its pictures
// whenever its dataset moves to another record while it is shown, and,
// when its dataset did not open, says what is missing and keeps its pages
// disabled.
#include <functional>

#include <QVariant>
#include <QWidget>

class QAbstractButton;
class QLabel;
class TDM;
class TDataSet;
class TDataSource;

class TtrelRecordForm : public QWidget {
    Q_OBJECT
public:
    // owner: the window this one stays on top of (none: a window of its
    // own). The form does not own the module or the source.
    TtrelRecordForm(TDM& dm, TDataSource& source, QWidget* owner);

    TDM& Module() const { return dm_; }
    TDataSource& Source() const { return source_; }
    TDataSet* DataSet() const;
    // Whether its dataset opened; else the message that says why.
    bool Available() const;
    QString Unavailable() const;

    // Shows the window modeless, or brings it forward when it is shown.
    void ShowForm();
    // Locates the value in the field of its dataset (exact match); when
    // found, shows the window on that record. When not, nothing moves and
    // no window opens: false.
    bool ShowLocated(const QString& field, const QVariant& value);

    // The search of "Localizar": runs the search dialog and answers the
    // field and value chosen, false when it was not closed with OK. The
    // main window fills it; while it is empty the button is disabled.
    std::function<bool(QString& field, QVariant& value)> OnLocalizar;
    void LocalizarClick();

protected:
    // Called by the form once its layout is made: the label for the
    // unavailable message, the parts to disable, the search button (or
    // none).
    void SetupParts(QLabel* unavailable, QWidget* content, QAbstractButton* localizar);
    // Enables the parts when the dataset is open, else shows why not; on
    // every show (the module may open after the form is made).
    virtual void UpdateAvailability();
    // Loads the pictures of the current record; force: also when the files
    // are those already shown. Forms with pictures override it.
    virtual void LoadPictures(bool force) {}
    void showEvent(QShowEvent* event) override;

private:
    TDM& dm_;
    TDataSource& source_;
    QLabel* unavailable_ = nullptr;
    QWidget* content_ = nullptr;
    QAbstractButton* localizar_ = nullptr;
};
