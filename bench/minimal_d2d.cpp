// Reference for the start-up time: the smallest Direct2D window of the same size,
// painting one fill in the primary button's colour where the wizard has its button.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<ID2D1Factory> factory;
ComPtr<ID2D1HwndRenderTarget> target;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        BeginPaint(window, &paint);
        if (!target) {
            RECT client{};
            GetClientRect(window, &client);
            factory->CreateHwndRenderTarget(D2D1::RenderTargetProperties(),
                                            D2D1::HwndRenderTargetProperties(window, D2D1::SizeU(client.right, client.bottom)),
                                            &target);
        }
        ComPtr<ID2D1SolidColorBrush> brush;
        target->BeginDraw();
        target->CreateSolidColorBrush(D2D1::ColorF(0.695f, 0.585f, 0.89f), &brush);
        target->FillRectangle(D2D1::RectF(0, 0, 780, 560), brush.Get());
        target->EndDraw();
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory.GetAddressOf());
    WNDCLASSEXW windowClass{sizeof(windowClass)};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"ElvaraBenchMinimal";
    RegisterClassExW(&windowClass);
    RECT outer{0, 0, 780, 560};
    AdjustWindowRectEx(&outer, 0x00CA0000, FALSE, 0);
    HWND window = CreateWindowExW(0, L"ElvaraBenchMinimal", L"ElvaraBenchMinimal", 0x00CA0000, CW_USEDEFAULT,
                                  CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                  instance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    target.Reset();
    factory.Reset();
    return 0;
}
