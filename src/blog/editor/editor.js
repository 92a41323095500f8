// The article editor: a TinyMCE instance behind the small FCKeditor-style
// interface the client drives:
//   FCKeditorAPI.GetInstance('txaContent').GetHTML()     -> the body HTML
//   FCKeditorAPI.GetInstance('txaContent').SetHTML(html) -> replaces it
//   FCKeditorAPI.ready                                   -> true once SetHTML reaches the editor
// and the element #abcContent whose value the client reads the body from.
//
// A body written with SetHTML is read back byte for byte as long as the user
// has not changed it: the editor normalises markup (it wraps text in
// paragraphs, re-indents, escapes "<" in text), so the text written is kept
// and returned while the editor still shows exactly what it made of it.
(function () {
  'use strict';

  // The page's own folder, e.g. "file:///opt/inkpost/editor/": relative
  // addresses in the body are made absolute against it, and the client
  // replaces this root by the blog's address when it publishes.
  var root = location.href.replace(/[?#].*$/, '').replace(/[^\/]*$/, '');

  var editor = null;
  var pending = null;        // text written before the editor existed
  var lastWritten = null;    // the text of the last SetHTML
  var lastRaw = null;        // the editable body's markup right after it
  var lastSerialised = null; // what the editor made of it (once settled)
  // A write shows the body at once; its undo level (about half a second for
  // a megabyte) follows as the next task, or earlier when an insert needs it
  // (settle), and the serialisation above once the page is idle.
  var unsettled = false;
  // The editor's serialisation is costly for long bodies (about half a
  // second for a megabyte), so it is kept until the document changes: a
  // mutation observer on the editable body marks it stale. Once the user has
  // paused for a moment it is made again while the page is idle, so that a
  // read (publishing, the draft autosave) finds it ready.
  var serialised = null;
  // Counts the changes of the body (typing, writes); the client's recovery
  // save asks for it to learn whether the body changed since its last read.
  var changes = 0;
  var observer = null;
  var idleTimer = null;
  var IDLE_DELAY_MS = 1200;
  // Whether the user has put the caret somewhere since the body was last
  // written: an image is inserted there, otherwise at the end.
  var caretPlaced = false;
  // The one load handler an image may carry: the resize call that the
  // blog's article page defines. Any other handler is dropped.
  var RESIZE_HANDLER = /^ResizeImage\(this,\s*\d{1,5}\)$/;

  function stale() {
    if (observer && observer.takeRecords().length) serialised = null;
    return serialised === null;
  }

  function serialise() {
    if (stale()) {
      serialised = editor.getContent();
      if (observer) observer.takeRecords();  // the serialiser's own touches
    }
    return serialised;
  }

  function whenIdle(run) {
    if (window.requestIdleCallback) window.requestIdleCallback(run, {timeout: 2000});
    else setTimeout(run, 0);
  }

  function serialiseWhenIdle() {
    if (idleTimer !== null) clearTimeout(idleTimer);
    idleTimer = setTimeout(function () {
      idleTimer = null;
      whenIdle(function () {
        if (editor && stale()) serialise();
      });
    }, IDLE_DELAY_MS);
  }

  function watch() {
    observer = new MutationObserver(function () {
      changes++;
      serialised = null;
      serialiseWhenIdle();
    });
    observe();
  }

  function observe() {
    observer.observe(editor.getBody(), {subtree: true, childList: true, characterData: true, attributes: true});
  }

  function keepOnlyResizeHandlers(nodes) {
    for (var i = 0; i < nodes.length; i++) {
      var value = nodes[i].attr('onload');
      if (nodes[i].name !== 'img' || !RESIZE_HANDLER.test(String(value || '').trim())) nodes[i].attr('onload', null);
    }
  }

  // Puts the caret at the very end of the body.
  function caretToEnd() {
    var body = editor.getBody();
    editor.selection.select(body, true);
    editor.selection.collapse(false);
  }

  function insertImage(html) {
    settle();
    if (!caretPlaced) caretToEnd();
    // One step of the undo history; the earlier steps stay.
    editor.undoManager.transact(function () {
      editor.insertContent(html);
    });
    caretPlaced = true;
  }

  function write(html) {
    changes++;
    caretPlaced = false;
    // The write counts as one change, not as one for every node it makes.
    if (observer) observer.disconnect();
    editor.setContent(html);
    if (observer) observe();
    editor.undoManager.clear();
    serialised = null;
    lastWritten = html;
    lastRaw = editor.getBody().innerHTML;
    lastSerialised = null;
    unsettled = true;
    setTimeout(settle, 0);
  }

  // The bookkeeping of the last write: the first undo level, and what the
  // editor makes of the body while it is still the written one.
  function settle() {
    if (!unsettled || !editor) return;
    unsettled = false;
    editor.undoManager.add();
    editor.setDirty(false);
    whenIdle(rememberSerialised);
  }

  function rememberSerialised() {
    if (editor && lastWritten !== null && lastSerialised === null && editor.getBody().innerHTML === lastRaw)
      lastSerialised = serialise();
  }

  // True while the body is still exactly what the last write made of it
  // (its markup unchanged, or at least what the editor makes of it).
  function unchangedSinceWrite() {
    if (lastWritten === null) return false;
    if (editor.getBody().innerHTML === lastRaw) return true;
    return lastSerialised !== null && serialise() === lastSerialised;
  }

  var instance = {
    Name: 'txaContent',
    GetHTML: function () {
      if (!editor) return pending !== null ? pending : '';
      if (unchangedSinceWrite()) return lastWritten;
      return serialise();
    },
    SetHTML: function (html) {
      html = html === undefined || html === null ? '' : String(html);
      if (!editor) {
        changes++;
        pending = html;
        return;
      }
      write(html);
    },
    // How many times the body has changed since the page loaded.
    GetChanges: function () {
      return changes;
    },
    // The change count and the body in one call: [count, html].
    GetSnapshot: function () {
      return [changes, this.GetHTML()];
    },
    // The editor's own form of the body, whatever was written.
    GetEditorHTML: function () {
      return editor ? serialise() : '';
    },
    InsertHtml: function (html) {
      if (!editor) return;
      settle();
      editor.insertContent(String(html));
    },
    // Inserts an image element at the caret (at the end of the body when the
    // user has not placed one), as one undo step. Before the editor exists
    // the element is appended to the text waiting for it.
    InsertImage: function (html) {
      html = String(html);
      if (!editor) {
        pending = (pending !== null ? pending : '') + html;
        return;
      }
      insertImage(html);
    },
    CaretPlaced: function () {
      return caretPlaced;
    }
  };

  window.FCKeditorAPI = {
    ready: false,
    root: root,
    GetInstance: function (name) {
      return name === 'txaContent' ? instance : undefined;
    }
  };

  function start() {
    // The language pack is loaded by the page itself (index.html); two
    // tooltips of TinyMCE 6.8 that it lacks are added here.
    tinymce.addI18n('zh-Hans', { 'Block {0}': '段落格式 {0}', 'Text color {0}': '文本颜色 {0}' });
    tinymce.init({
      selector: '#txaContent',
      height: '100%',
      menubar: false,
      toolbar_mode: 'wrap',
      branding: false,
      promotion: false,
      statusbar: true,
      elementpath: true,
      resize: false,
      plugins: 'lists advlist link image table code autolink charmap',
      toolbar: 'undo redo | blocks | bold italic underline strikethrough forecolor | ' +
               'alignleft aligncenter alignright | bullist numlist outdent indent | ' +
               'link image table charmap | removeformat code',
      // The toolbar and dialogs speak Chinese (tinymce/langs/zh-Hans.js).
      language: 'zh-Hans',
      block_formats: '段落=p; 一级标题=h1; 二级标题=h2; 三级标题=h3; 四级标题=h4; 预先格式化的=pre',
      // Characters stay characters; the client turns what GBK cannot hold
      // into numeric references itself.
      entity_encoding: 'raw',
      // Relative addresses become absolute against the page's folder.
      document_base_url: root,
      convert_urls: true,
      relative_urls: false,
      remove_script_host: false,
      image_advtab: true,
      // Images never grow wider than the editor (their width attribute
      // stays as written). The body fills the editing area even when the
      // text is short, so a click or right click under the text is a click
      // in the text (caret, context menu).
      content_style: 'img { max-width: 100%; height: auto; } ' +
                     'html { height: 100%; } body { min-height: calc(100% - 2rem); }',
      browser_spellcheck: true,
      contextmenu: false,
      setup: function (ed) {
        // The inserted images keep their resize handler, size, title and alt
        // through editing: the image rule of the schema gains the load
        // handler, which the filters below allow only in its one form.
        // Everything else is sanitised as usual.
        ed.on('PreInit', function () {
          var rule = ed.schema.getElementRule('img');
          if (rule && !rule.attributes.onload) {
            rule.attributes.onload = {};
            rule.attributesOrder.push('onload');
          }
          ed.parser.addAttributeFilter('onload', keepOnlyResizeHandlers);
          ed.serializer.addAttributeFilter('onload', keepOnlyResizeHandlers);
        });
        // The caret counts as placed once the user clicks or types in the
        // body.
        ed.on('mouseup keyup', function () {
          caretPlaced = true;
        });
      },
      init_instance_callback: function (ed) {
        editor = ed;
        // The article page defines the resize function; inside the editor
        // the style above keeps images in bounds.
        ed.getWin().ResizeImage = function () {};
        watch();
        if (pending !== null) {
          write(pending);
          pending = null;
        } else {
          lastWritten = null;
          lastRaw = null;
          lastSerialised = null;
        }
        window.FCKeditorAPI.ready = true;
        document.title = 'inkpost editor ready';
      }
    });
  }

  if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', start);
  else
    start();
})();
