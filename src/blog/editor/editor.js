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
  // A long body (an opened article of a megabyte) is shown in parts: its
  // beginning at once, the rest in further tasks, so that the first screen
  // does not wait for the editor to parse and lay out all of it (about a
  // second for a megabyte). The parts split at top-level blocks. Until the
  // last part is in, the body counts as the one written: a read returns the
  // written text, and anything that changes or serialises the body first
  // brings in the rest at once.
  var LONG_BODY = 200000;  // characters
  var FIRST_PART = 30000;
  var NEXT_PART = 100000;
  var loading = null;      // {nodes, next} while parts are still out

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
        if (editor && !loading && stale()) serialise();
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

  // Runs change without counting its mutations as changes of the body; any
  // change noticed before it still counts.
  function quietly(change) {
    if (!observer) return change();
    if (observer.takeRecords().length) {
      changes++;
      serialised = null;
    }
    observer.disconnect();
    try {
      return change();
    } finally {
      observe();
    }
  }

  function write(html) {
    loading = null;  // the parts of an earlier write still out go
    changes++;
    caretPlaced = false;
    var rest = html.length > LONG_BODY ? topLevelNodes(html) : null;
    var first = rest ? takePart(rest, FIRST_PART) : html;
    // The write counts as one change, not as one for every node it makes.
    quietly(function () {
      editor.setContent(first);
    });
    editor.undoManager.clear();
    serialised = null;
    lastWritten = html;
    lastSerialised = null;
    if (rest && rest.next < rest.nodes.length) {
      lastRaw = null;
      loading = rest;
      // The beginning is painted before the next part is made.
      afterNextFrame(function () {
        loadNextPart(rest);
      });
      return;
    }
    lastRaw = editor.getBody().innerHTML;
    unsettled = true;
    setTimeout(settle, 0);
  }

  // The top-level nodes of html, parsed in an inert document (no script
  // runs, nothing loads); the editor parses and filters each part itself.
  function topLevelNodes(html) {
    var doc = new DOMParser().parseFromString('<body>' + html + '</body>', 'text/html');
    return {nodes: Array.prototype.slice.call(doc.body.childNodes), next: 0};
  }

  function escapeText(text) {
    return text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/\u00a0/g, '&nbsp;');
  }

  function nodeHtml(node) {
    if (node.nodeType === 1) return node.outerHTML;
    if (node.nodeType === 3) return escapeText(node.data);
    if (node.nodeType === 8) return '<!--' + node.data + '-->';
    return '';
  }

  // The markup of the next nodes, about size characters, ending only before
  // a block: text and inline elements next to each other stay in one part,
  // as the editor wraps them in one paragraph.
  function takePart(rest, size) {
    var blocks = editor.schema.getBlockElements();
    var parts = [];
    var length = 0;
    while (rest.next < rest.nodes.length) {
      var node = rest.nodes[rest.next];
      if (length >= size && node.nodeType === 1 && blocks[node.nodeName]) break;
      var piece = nodeHtml(node);
      parts.push(piece);
      length += piece.length;
      rest.next++;
    }
    return parts.join('');
  }

  function appendPart(html) {
    var tree = editor.parser.parse(html, {isRootContent: true, insert: true});
    var markup = tinymce.html.Serializer({validate: false}, editor.schema).serialize(tree);
    quietly(function () {
      editor.getBody().appendChild(editor.dom.createFragment(markup));
    });
    serialised = null;
  }

  // Runs run once the page has painted (or after a moment, as a hidden page
  // does not paint).
  function afterNextFrame(run) {
    var ran = false;
    function once() {
      if (!ran) {
        ran = true;
        run();
      }
    }
    window.requestAnimationFrame(function () {
      setTimeout(once, 0);
    });
    setTimeout(once, 250);
  }

  // Appends the next part of the load rest, unless a later write replaced
  // it or everything has come in already.
  function loadNextPart(rest) {
    if (loading !== rest) return;
    appendPart(takePart(rest, NEXT_PART));
    if (rest.next < rest.nodes.length) {
      setTimeout(function () {
        loadNextPart(rest);
      }, 0);
    } else {
      settle();
    }
  }

  // Brings in every part still out; the write is then settled as a short
  // one is.
  function finishLoading() {
    if (!loading) return;
    if (loading.next < loading.nodes.length) appendPart(takePart(loading, Infinity));
    loading = null;
    editor.addVisual(editor.getBody());
    editor.undoManager.clear();
    serialised = null;
    lastRaw = editor.getBody().innerHTML;
    unsettled = true;
  }

  // The bookkeeping of the last write: the first undo level, and what the
  // editor makes of the body while it is still the written one.
  function settle() {
    finishLoading();
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
      if (loading || unchangedSinceWrite()) return lastWritten;
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
      if (!editor) return '';
      settle();
      return serialise();
    },
    // Whether parts of a long body written last are still to come.
    Loading: function () {
      return loading !== null;
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
        // Whatever changes the body (typing, pasting, dropping, a command
        // of the toolbar or a shortcut, undo included, a resize by mouse)
        // finds all of it there: the parts still out come in first.
        ed.on('keydown beforeinput paste cut drop compositionstart BeforeExecCommand ObjectResizeStart', function () {
          if (loading) settle();
        });
        // Undo levels are only taken of the whole body.
        ed.on('BeforeAddUndo', function (e) {
          if (loading) e.preventDefault();
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
