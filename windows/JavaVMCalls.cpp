#include "JavaVMCalls.h"

#include "core/Text.h"

#include <algorithm>
#include <iterator>

namespace vkr {

namespace {

constexpr const char* kSplashSignature =
    "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V";

// A lookup that failed leaves its exception pending (NoClassDefFoundError, NoSuchMethodError).
// The steps that may fail are optional: their exception must not be what the JVM throws at the
// next call into Java, which would be the launcher's main, nor what the launcher afterwards
// reports as main's failure.
void forgetFailedLookup(JNIEnv* env) {
    if (env->ExceptionCheck()) env->ExceptionClear();
}

jstring newJavaString(JNIEnv* env, std::wstring_view text) {
    const std::u16string chars = toJavaChars(text);
    return env->NewString(reinterpret_cast<const jchar*>(chars.data()), static_cast<jsize>(chars.size()));
}

// The text of a Java string, "" when there is none.
std::wstring javaStringText(JNIEnv* env, jstring string) {
    if (!string) return {};
    const jsize length = env->GetStringLength(string);
    const jchar* chars = env->GetStringChars(string, nullptr);
    if (!chars) return {};
    std::wstring text = fromJavaChars(chars, length);
    env->ReleaseStringChars(string, chars);
    return text;
}

} // namespace

std::u16string toJavaChars(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code >= 0x10000 && code <= 0x10FFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

std::wstring fromJavaChars(const jchar* chars, jsize length) {
    std::wstring out;
    for (jsize i = 0; i < length; ++i) {
        std::uint32_t c = chars[i];
        if constexpr (sizeof(wchar_t) == 4) {
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && chars[i + 1] >= 0xDC00 && chars[i + 1] <= 0xDFFF)
                c = 0x10000 + ((c - 0xD800) << 10) + (chars[++i] - 0xDC00u);
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

void configureAwtSplash(JNIEnv* env, const SplashSettings& s, const JniLog& log) {
    jclass launcher = env->FindClass(kQuentaWinLauncher);
    if (!launcher) {
        log.error(L"could not find main class for splash properties");
        forgetFailedLookup(env);
        return;
    }
    jmethodID method = env->GetStaticMethodID(launcher, "initAwtSplashConfig", kSplashSignature);
    if (!method) {
        log.error(L"could not find method for splash properties");
        forgetFailedLookup(env);
        env->DeleteLocalRef(launcher);
        return;
    }
    // The texts are stored as ISO-8859-1: widened, each byte is its character. (As modified
    // UTF-8 a byte above 0x7F began a sequence that swallowed the next characters.)
    jstring texts[] = {newJavaString(env, widenBytes(s.statusText)), newJavaString(env, widenBytes(s.statusColor)),
                       newJavaString(env, widenBytes(s.versionText)), newJavaString(env, widenBytes(s.versionColor))};
    if (std::all_of(std::begin(texts), std::end(texts), [](jstring text) { return text != nullptr; })) {
        env->CallStaticVoidMethod(launcher, method, JNI_TRUE, s.flag ? JNI_TRUE : JNI_FALSE, texts[0],
                                  static_cast<jint>(s.statusX), static_cast<jint>(s.statusY), texts[1],
                                  static_cast<jint>(s.statusFontSize), static_cast<jint>(s.statusFontWeight), texts[2],
                                  static_cast<jint>(s.versionX), static_cast<jint>(s.versionY), texts[3],
                                  static_cast<jint>(s.versionFontSize), static_cast<jint>(s.versionFontWeight));
    }
    // The splash is optional: what it threw is reported here and must not be taken for main's
    // failure once main has returned.
    checkJavaException(env, Describe::Yes, log);
    for (jstring text : texts)
        if (text) env->DeleteLocalRef(text);
    env->DeleteLocalRef(launcher);
}

bool callInitFromLauncher(JNIEnv* env, bool flag, const JniLog& log) {
    jclass common = env->FindClass(kCommonClass);
    if (!common) {
        log.error(L"did not find %S", kCommonClass);
        forgetFailedLookup(env);
        return false;
    }
    bool called = false;
    if (jmethodID init = env->GetStaticMethodID(common, "initFromLauncher", "(Z)V")) {
        env->CallStaticVoidMethod(common, init, flag ? JNI_TRUE : JNI_FALSE);
        // An initialiser that threw has not run: the natives are not registered against it,
        // and its exception is not left for main.
        called = checkJavaException(env, Describe::Yes, log);
    } else {
        log.error(L"did not find initMethod");
        forgetFailedLookup(env);
    }
    env->DeleteLocalRef(common);
    return called;
}

void setModuleNameProperty(JNIEnv* env, std::wstring_view executablePath, const JniLog& log) {
    jclass system = env->FindClass("java/lang/System");
    if (!system) {
        log.error(L"could not get system class");
        forgetFailedLookup(env);
        return;
    }
    jmethodID setProperty =
        env->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    if (!setProperty) {
        log.error(L"could not get method for module name init");
        forgetFailedLookup(env);
        env->DeleteLocalRef(system);
        return;
    }
    jstring value = newJavaString(env, executablePath);
    if (!value) {
        log.error(L"could not create string for init module name");
        forgetFailedLookup(env);
        env->DeleteLocalRef(system);
        return;
    }
    if (jstring key = newJavaString(env, L"quenta.moduleName")) {
        log.message(L"setting quenta.moduleName to %s", executablePath);
        jobject previous = env->CallStaticObjectMethod(system, setProperty, key, value);
        if (previous) env->DeleteLocalRef(previous);
        checkJavaException(env, Describe::Yes, log);  // a security manager may refuse it
        env->DeleteLocalRef(key);
    } else {
        log.error(L"could not create string for init module name");
        forgetFailedLookup(env);
    }
    env->DeleteLocalRef(value);
    env->DeleteLocalRef(system);
}

MainOutcome callMain(JNIEnv* env, std::string_view className, const std::vector<std::wstring>& parameters,
                     const JniLog& log) {
    std::string name(className);
    std::replace(name.begin(), name.end(), '.', '/');
    log.message(L"main class: %S", name);
    // What the JVM threw tells why (a class built for a newer Java, a static initialiser that
    // failed): the log keeps it; the console shows the message that the class or method is
    // missing, as before.
    jclass launcher = env->FindClass(name.c_str());
    if (!launcher) {
        log.error(L"could not find main class");
        checkJavaException(env, Describe::No, log);
        return MainOutcome::ClassMissing;
    }
    jmethodID main = env->GetStaticMethodID(launcher, "main", "([Ljava/lang/String;)V");
    if (!main) {
        log.error(L"could not find main method");
        checkJavaException(env, Describe::No, log);
        return MainOutcome::MethodMissing;
    }
    log.message(L"param count: %d", parameters.size());
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray paramArray =
        stringClass ? env->NewObjectArray(static_cast<jsize>(parameters.size()), stringClass, nullptr) : nullptr;
    if (!paramArray) {
        // Only a JVM out of memory gets here.
        log.error(L"JavaVMLauncher: assertion failed: paramArray");
        checkJavaException(env, Describe::Yes, log);
        return MainOutcome::Failed;
    }
    for (size_t i = 0; i < parameters.size(); ++i) {
        log.message(L"param %d: %s", i, parameters[i]);
        jstring jstr = newJavaString(env, parameters[i]);
        if (!jstr) {
            log.error(L"JavaVMLauncher: assertion failed: jstr");
            checkJavaException(env, Describe::Yes, log);
            return MainOutcome::Failed;
        }
        env->SetObjectArrayElement(paramArray, static_cast<jsize>(i), jstr);
        env->DeleteLocalRef(jstr);
    }
    log.message(L"calling main");
    env->CallStaticVoidMethod(launcher, main, paramArray);
    log.message(L"main returned");
    return checkJavaException(env, Describe::Yes, log) ? MainOutcome::Returned : MainOutcome::Failed;
}

bool checkJavaException(JNIEnv* env, Describe describe, const JniLog& log) {
    jthrowable exception = env->ExceptionOccurred();
    if (!exception) return true;
    log.error(L"an exception occurred");
    if (describe == Describe::Yes) env->ExceptionDescribe();
    env->ExceptionClear();
    jclass type = env->GetObjectClass(exception);
    jmethodID toString = type ? env->GetMethodID(type, "toString", "()Ljava/lang/String;") : nullptr;
    jstring text = toString ? static_cast<jstring>(env->CallObjectMethod(exception, toString)) : nullptr;
    // A toString() that throws in turn gives no text; its exception goes too.
    if (env->ExceptionCheck()) env->ExceptionClear();
    if (text) {
        log.error(L"%s", javaStringText(env, text));
        env->DeleteLocalRef(text);
    }
    if (type) env->DeleteLocalRef(type);
    env->DeleteLocalRef(exception);
    return false;
}

} // namespace vkr
