#pragma once

#include <QDialog>
#include <QLabel>

class UrlOpener;

// A label that reacts to a click, drawn as a hyperlink.
class LinkLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The About window: version, maker and two links handed to the desktop.
class AboutWindow : public QDialog
{
    Q_OBJECT

public:
    static inline const QString webPage = QStringLiteral("https://www.example.org/quorvel");
    static inline const QString mailAddress = QStringLiteral("quorvel@example.org");

    AboutWindow(UrlOpener &urlOpener, QWidget *parent, bool ownTitleBar = false);

    void Label10_Click();
    void Label11_Click();

private:
    UrlOpener &m_urlOpener;
};
