// The progress window of zipping and unzipping: the item and a bar from 0 to 100.
#pragma once

#include "core/run_views.h"

#include <QWidget>

class QLabel;
class QProgressBar;

class TProgressForm : public QWidget, public ProgressView {
    Q_OBJECT
public:
    explicit TProgressForm(QWidget* parent = nullptr);

    void SetCaption(const std::string& caption) override;
    void SetItem(const std::string& item) override;
    void SetPercent(int percent) override;
    void Show() override;
    void Hide() override;

    QLabel* Label1;
    QProgressBar* ProgressBar1;
};
