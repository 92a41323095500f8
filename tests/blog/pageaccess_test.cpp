// What the client's own pages may load: the blog's origin, the client's
// files, inline data; nothing else.
#include "blog/pageaccess.h"

#include <gtest/gtest.h>

namespace inkpost {
namespace {

TEST(PageAccess, OriginsOfAddresses) {
  EXPECT_EQ(addressOrigin("http://Blog.Example/a/b?c#d"), "http://blog.example");
  EXPECT_EQ(addressOrigin("http://blog.example:80/"), "http://blog.example");
  EXPECT_EQ(addressOrigin("https://blog.example:443"), "https://blog.example");
  EXPECT_EQ(addressOrigin("http://127.0.0.1:8080/blog/"), "http://127.0.0.1:8080");
  EXPECT_EQ(addressOrigin("http://user:pw@blog.example/"), "http://blog.example");
  EXPECT_EQ(addressOrigin("ftp://blog.example/"), "");
  EXPECT_EQ(addressOrigin("file:///etc/passwd"), "");
  EXPECT_EQ(addressOrigin("http:///x"), "");
}

TEST(PageAccess, OnlyTheBlogAndOwnFiles) {
  PageAccess editor;
  editor.origins = {"http://127.0.0.1:8080"};
  editor.ownFolder = "/opt/inkpost/editor/";
  EXPECT_TRUE(pageMayLoad(editor, "http://127.0.0.1:8080/upload/a.jpg", PageResource::Image));
  EXPECT_TRUE(pageMayLoad(editor, "file:///opt/inkpost/editor/tinymce/tinymce.min.js", PageResource::Other));
  EXPECT_TRUE(pageMayLoad(editor, "file:///opt/inkpost/editor/index.html", PageResource::Page));
  EXPECT_TRUE(pageMayLoad(editor, "data:image/png;base64,AAAA", PageResource::Image));
  EXPECT_TRUE(pageMayLoad(editor, "blob:file:///1234", PageResource::Image));
  // A frame inside the page loads nothing, not even from the blog.
  EXPECT_FALSE(pageMayLoad(editor, "http://127.0.0.1:8080/article.asp", PageResource::Frame));
  EXPECT_FALSE(pageMayLoad(editor, "data:text/html,<script>1</script>", PageResource::Frame));
  EXPECT_FALSE(pageMayLoad(editor, "file:///opt/inkpost/editor/index.html", PageResource::Frame));
  // Another port, host or scheme is another origin.
  EXPECT_FALSE(pageMayLoad(editor, "http://127.0.0.1:8081/upload/a.jpg", PageResource::Image));
  EXPECT_FALSE(pageMayLoad(editor, "https://127.0.0.1:8080/upload/a.jpg", PageResource::Image));
  EXPECT_FALSE(pageMayLoad(editor, "http://tracker.example/pixel.gif", PageResource::Image));
  EXPECT_FALSE(pageMayLoad(editor, "ws://127.0.0.1:8080/", PageResource::Other));
  // Files outside the folder, also by way of ".." or an encoded one.
  EXPECT_FALSE(pageMayLoad(editor, "file:///etc/passwd", PageResource::Other));
  EXPECT_FALSE(pageMayLoad(editor, "file:///opt/inkpost/editor/../data.mdb", PageResource::Other));
  EXPECT_FALSE(pageMayLoad(editor, "file:///opt/inkpost/editor/%2E%2E/data.mdb", PageResource::Other));
  EXPECT_FALSE(pageMayLoad(editor, "file:///opt/inkpost/editorx/a.js", PageResource::Other));
  EXPECT_FALSE(pageMayLoad(editor, "file://otherhost/opt/inkpost/editor/a.js", PageResource::Other));

  // Without a blog (no login yet) nothing on the web.
  PageAccess none;
  EXPECT_FALSE(pageMayLoad(none, "http://127.0.0.1:8080/upload/a.jpg", PageResource::Image));
  EXPECT_FALSE(pageMayLoad(none, "file:///opt/inkpost/editor/index.html", PageResource::Page));

  // The gallery shows images from anywhere on the web, nothing else.
  PageAccess gallery;
  gallery.remoteImages = true;
  EXPECT_TRUE(pageMayLoad(gallery, "http://cdn.example/a.jpg", PageResource::Image));
  EXPECT_FALSE(pageMayLoad(gallery, "http://cdn.example/a.js", PageResource::Other));
  EXPECT_FALSE(pageMayLoad(gallery, "http://cdn.example/", PageResource::Page));
}

}  // namespace
}  // namespace inkpost
