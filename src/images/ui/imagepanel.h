// The image column 分组框1 "图片上传": the gallery viewer
// 超文本浏览框_图片上传 with the uploads of this run, the 自动命名 box, the
// drop box 分组框_上传图片 with its drop target 拖放对象1, and the buttons
// 截图上传 and 链接上传. The panel owns the gallery list; its uploads go to
// the blog it is attached to, and its inserts into the article form.
#pragma once

#include "images/gallery.h"

#include <QGroupBox>
#include <QList>
#include <QPointer>
#include <QStringList>

#include <string>
#include <vector>

class QCheckBox;
class QPushButton;
class QTimer;
class QWebEngineView;

namespace inkpost {

class ArticleForm;
class CurrentBlog;

// 拖放对象1: turns files dropped on the widget it is registered on into
// one filesDropped signal, paths in drop order; web addresses dropped there
// (an image dragged from a web page) into one addressesDropped signal.
class DropTarget : public QObject {
  Q_OBJECT
 public:
  explicit DropTarget(QObject* parent = nullptr);
  void registerOn(QWidget* widget);
  QWidget* registeredWidget() const { return widget_; }
  // Another widget whose drops count the same (with its child widgets,
  // for a web view whose page receives the drag).
  void alsoOn(QWidget* widget);

 signals:
  void filesDropped(const QStringList& paths);
  void addressesDropped(const QStringList& addresses);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void watch(QObject* object);
  QWidget* widget_ = nullptr;
  QList<QPointer<QObject>> others_;
};

class ImagePanel : public QGroupBox {
  Q_OBJECT
 public:
  // The column is this wide.
  static constexpr int kWidth = 240;

  explicit ImagePanel(QWidget* parent = nullptr);
  // Where uploads go and images are inserted (set once, at start).
  void attach(CurrentBlog& blog, ArticleForm& form);
  CurrentBlog& blog() const { return *blog_; }
  ArticleForm& form() const { return *form_; }

  // The drop box takes drops, and the gallery viewer too, as its hint asks.
  void acceptDrops();

  // 自动命名: uploads are stored under their content name.
  bool autoName() const;
  void setAutoName(bool on);

  // The uploads of this run, oldest first (gallery entry texts: address,
  // "[", width, "|", height). Uploads append; restoring a draft replaces it.
  const std::vector<GalleryEntry>& gallery() const { return gallery_; }
  void setGallery(std::vector<GalleryEntry> entries) { gallery_ = std::move(entries); }
  void addToGallery(const GalleryEntry& entry) { gallery_.push_back(entry); }

  QWebEngineView* galleryView() const { return galleryView_; }
  QCheckBox* autoNameBox() const { return autoName_; }
  QGroupBox* dropBox() const { return dropBox_; }
  DropTarget* dropTarget() const { return dropTarget_; }
  QPushButton* captureButton() const { return capture_; }
  QPushButton* addressButton() const { return address_; }
  // 时钟_上传截图: armed by the capture window, uploads the capture.
  QTimer* captureTimer() const { return captureTimer_; }

 private:
  CurrentBlog* blog_ = nullptr;
  ArticleForm* form_ = nullptr;
  std::vector<GalleryEntry> gallery_;
  QWebEngineView* galleryView_;
  QCheckBox* autoName_;
  QGroupBox* dropBox_;
  DropTarget* dropTarget_;
  QPushButton* capture_;
  QPushButton* address_;
  QTimer* captureTimer_;
};

}  // namespace inkpost
